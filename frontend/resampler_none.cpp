// The resampler of a ruvo built without libsoxr: audio files at the CD rate
// play, others are refused.
#include "error.h"
#include "resampler.h"

resampler* new_resampler(const char* path, int rate, resampler_input, void*) {
  error(
      "Sorry, CD Music cannot be played: %s holds audio at %d Hz, and this ruvo was built "
      "without resampling.\n",
      path, rate);
  return nullptr;
}

std::size_t resample(resampler*, float*, std::size_t) { return 0; }

void delete_resampler(resampler*) {}
