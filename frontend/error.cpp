#include "error.h"

#include <cstdarg>
#include <cstdio>

int error(const char* format, ...) {
  char message[1024];
  std::va_list args;
  va_start(args, format);
  // Bounded: a very long device path is cut at 1023 characters instead of
  // overrunning the buffer.
  if (std::vsnprintf(message, sizeof message, format, args) < 0) message[0] = '\0';
  va_end(args);
  // Through "%s", so that a '%' brought in by an argument is printed as it is.
  std::fprintf(stderr, "%s", message);
  return 0;
}
