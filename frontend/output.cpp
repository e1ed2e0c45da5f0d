#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "error.h"

namespace {

// The cause of the first failed write (an errno value), or 0.
int failure = 0;
bool failure_reported = false;

// The C library resets its buffer when a write fails, so a later flush can
// succeed and errno moves on: the cause is taken right after the call that met it.
void note_failure() {
  if (failure == 0 && std::ferror(stdout)) failure = errno != 0 ? errno : EIO;
}

// Decided once: what stdout is does not change during a run.
bool to_terminal() {
  static const bool terminal = isatty(fileno(stdout)) == 1;
  return terminal;
}

bool controls_a_terminal(unsigned char byte) {
  return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
}

}  // namespace

void put_text(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  note_failure();
}

void put_format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  note_failure();
}

void put_disc_text(std::string_view bytes) {
  if (!to_terminal()) return put_text(bytes);
  // Runs of harmless bytes go out whole; each controlling byte as its escape.
  std::size_t start = 0;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    if (!controls_a_terminal(byte)) continue;
    put_text(bytes.substr(start, at - start));
    put_format("\\x%02X", static_cast<unsigned>(byte));
    start = at + 1;
  }
  put_text(bytes.substr(start));
}

int flush_output() {
  std::fflush(stdout);
  note_failure();
  if (failure == 0) return 1;
  if (failure_reported) return 0;
  failure_reported = true;
  return error("Can not write to standard output: %s\n", std::strerror(failure));
}
