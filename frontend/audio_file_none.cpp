// The audio files of a ruvo built without libsndfile: refused.
#include "audio_file.h"
#include "error.h"

int open_audio_file(const pcm_span& span) {
  error(
      "Sorry, CD Music cannot be played: %s is a %s file, and this ruvo was built without "
      "audio file decoding.\n",
      span.path.c_str(), span.file_type.c_str());
  return -1;
}

std::size_t read_audio_file(int, char*, std::size_t) { return 0; }

void close_audio_files() {}
