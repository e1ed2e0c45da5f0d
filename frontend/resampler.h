// Conversion of the audio files at other rates than CD audio's, by a
// resampler made for music: stereo audio at any rate in, stereo audio at
// 44,100 Hz out, both as interleaved floats (full scale 1).
#pragma once

#include <cstddef>

struct resampler;

// Where a resampler takes its input: points `frames` at up to `most` stereo
// frames of the audio that follows and gives their count, 0 at its end.
using resampler_input = std::size_t (*)(void* source, const float** frames, std::size_t most);

// A resampler from `rate` Hz to the CD rate that reads through `input`, or
// nullptr after the refusal's message, which names `path`: a rate it does not
// take, or a ruvo built without resampling.
resampler* new_resampler(const char* path, int rate, resampler_input input, void* source);

// Up to `frames` frames of the converted audio into `into`; 0 once it is all
// given. Frame n is the input heard at n / 44,100 s from its start, and F
// input frames give round(F × 44,100 / rate) frames: none is held back.
std::size_t resample(resampler* converter, float* into, std::size_t frames);

void delete_resampler(resampler* converter);
