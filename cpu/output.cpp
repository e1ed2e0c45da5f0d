#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace out {

char buffer[buffer_size + line_reserve];
buffer_state state{buffer, buffer + buffer_size, false};

namespace {

void* capture_target = nullptr;
capture_sink capture = nullptr;
// Once a write has failed (a closed pipe, a full disk) the rest is dropped
// rather than retried line after line.
bool write_failed = false;

void write_all(const char* bytes, std::size_t size) {
  while (size > 0 && !write_failed) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      write_failed = true;
      return;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace

void flush() {
  const auto size = static_cast<std::size_t>(state.cursor - buffer);
  state.cursor = buffer;
  if (size == 0) return;
  if (capture != nullptr) {
    capture(capture_target, buffer, size);
  } else {
    write_all(buffer, size);
  }
}

void capture_into(void* target, capture_sink sink) {
  flush();
  capture_target = target;
  capture = sink;
}

void discard() { state.cursor = buffer; }

void start() {
  state.line_at_once = isatty(STDOUT_FILENO) != 0;
  std::atexit(flush);
}

void append(const char* bytes, std::size_t size) {
  while (size > 0) {
    const auto room = static_cast<std::size_t>(buffer + buffer_size - state.cursor);
    if (room == 0) {
      flush();
      continue;
    }
    const std::size_t piece = size < room ? size : room;
    std::memcpy(state.cursor, bytes, piece);
    state.cursor += piece;
    bytes += piece;
    size -= piece;
  }
}

}  // namespace out
