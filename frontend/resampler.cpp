// libsoxr, the resampler of SoX and ffmpeg's high-quality choice, at its very
// high quality: 28-bit precision and linear phase, so that the output keeps
// the input's timing to the sample. It measured better and far cheaper than
// libsamplerate's best (see README).
#include "resampler.h"

#include <soxr.h>

#include "error.h"
#include "raw_sector.h"

// The rates taken: below them soxr's filters for the steep upsampling take
// more memory than ruvo may, and no audio format uses such rates.
constexpr int lowest_rate = 1000, highest_rate = 1000000;

struct resampler {
  soxr_t soxr = nullptr;
  resampler_input input;
  void* source;
};

namespace {

// The input function in soxr's terms: the end of the input is a count of 0
// with a buffer, a failure one without.
std::size_t next_input(void* state, soxr_in_t* data, std::size_t most) {
  const resampler& converter = *static_cast<const resampler*>(state);
  static const float none[2] = {};
  const float* frames = none;
  const std::size_t count = converter.input(converter.source, &frames, most);
  *data = count == 0 ? none : frames;
  return count;
}

// Input frames asked for at a time, which bounds the work of each step.
constexpr std::size_t frames_a_step = 4096;

}  // namespace

resampler* new_resampler(const char* path, int rate, resampler_input input, void* source) {
  if (rate < lowest_rate || rate > highest_rate) {
    error(
        "Sorry, CD Music cannot be played: %s holds audio at %d Hz, outside the %d to %d Hz "
        "that ruvo converts to CD audio.\n",
        path, rate, lowest_rate, highest_rate);
    return nullptr;
  }
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
  // One thread: the conversion is a small part of the work of a second.
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t failure = nullptr;
  auto* converter = new resampler{nullptr, input, source};
  converter->soxr = soxr_create(rate, raw_sector::audio_rate, 2, &failure, &io, &quality, &runtime);
  if (failure == nullptr)
    failure = soxr_set_input_fn(converter->soxr, next_input, converter, frames_a_step);
  if (failure != nullptr) {
    error(
        "Sorry, CD Music cannot be played: %s holds audio at %d Hz, which cannot be converted "
        "to CD audio (%s).\n",
        path, rate, failure);
    delete_resampler(converter);
    return nullptr;
  }
  return converter;
}

std::size_t resample(resampler* converter, float* into, std::size_t frames) {
  return soxr_output(converter->soxr, into, frames);
}

void delete_resampler(resampler* converter) {
  if (converter == nullptr) return;
  if (converter->soxr != nullptr) soxr_delete(converter->soxr);
  delete converter;
}
