#include "error.h"

#include <unistd.h>

#include <cstdio>

#include "breaks.h"
#include "output.h"

std::string message_text(const char* format, std::va_list args) {
  std::va_list measured;
  va_copy(measured, args);
  const int size = std::vsnprintf(nullptr, 0, format, measured);
  va_end(measured);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

int error(const char* format, ...) {
  if (break_caught()) return 0;
  std::va_list args;
  va_start(args, format);
  std::string message = message_text(format, args);
  va_end(args);
  static const bool terminal = isatty(STDERR_FILENO) == 1;
  if (terminal) message = terminal_text(message, true);
  // Written as it is: a '%' brought in by an argument is printed unchanged.
  std::fwrite(message.data(), 1, message.size(), stderr);
  return 0;
}
