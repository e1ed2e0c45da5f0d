#include "error.h"

#include <cstdio>

#include "breaks.h"

std::string message_text(const char* format, std::va_list args) {
  char message[message_limit + 1];
  if (std::vsnprintf(message, sizeof message, format, args) < 0) message[0] = '\0';
  return message;
}

int error(const char* format, ...) {
  if (break_caught()) return 0;
  std::va_list args;
  va_start(args, format);
  const std::string message = message_text(format, args);
  va_end(args);
  // Through "%s", so that a '%' brought in by an argument is printed as it is.
  std::fprintf(stderr, "%s", message.c_str());
  return 0;
}
