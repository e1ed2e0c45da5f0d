// The audio files that descriptors name for audio tracks (WAVE, FLAC, MP3,
// AIFF, Ogg, ...), decoded to CD audio for the player. What a file holds is
// told by its content: the sheet's file type is only a hint, and sheets often
// call a FLAC file WAVE.
#pragma once

#include <cstddef>

#include "disc_source.h"

// Decodes the span's file (which stays the disc source's) from the span's
// offset on, reading it at a place of its own, so that spans of one file
// decode side by side. Its slot for read_audio_file, or -1 after the
// refusal's message: a file that cannot be decoded, more channels or a rate
// than can be converted, or a ruvo built without the decoder or resampler.
int open_audio_file(const pcm_span& span);

// Up to `size` bytes (whole CD frames) of the file's audio as CD audio:
// 44,100 Hz, 16-bit little-endian stereo, converted from any other rate or
// channel count; 16-bit audio in mono or stereo at the CD rate comes out
// exactly as it is. F frames at R Hz make round(F × 44,100 / R) CD frames, and
// the span's offset counts those. 0 at the end of the file's audio; a decoder
// that stops early at an error is reported once for the file.
std::size_t read_audio_file(int slot, char* into, std::size_t size);

// Ends every decoding, for the end of playing.
void close_audio_files();
