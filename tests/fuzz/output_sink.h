// Sends what the front-end code prints through stdout and stderr to /dev/null
// while one input runs. Only the C library's stream pointers are swapped (glibc
// lets them be assigned): file descriptors 1 and 2 stay as they are, so the
// fuzzer's progress lines and the sanitizers' reports still show.
#pragma once

#include <cstdio>
#include <cstdlib>

struct output_sink {
  std::FILE* const saved_out = stdout;
  std::FILE* const saved_err = stderr;

  output_sink() {
    static std::FILE* const null = std::fopen("/dev/null", "w");
    if (null == nullptr) std::abort();
    stdout = null;
    stderr = null;
  }
  ~output_sink() {
    stdout = saved_out;
    stderr = saved_err;
  }
  output_sink(const output_sink&) = delete;
  output_sink& operator=(const output_sink&) = delete;
};
