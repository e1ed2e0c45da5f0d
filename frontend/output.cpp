#include "output.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "breaks.h"
#include "error.h"

namespace {

// Put and not yet written.
std::string pending;
// To a file or a pipe, the size at which the buffer is written before a flush.
constexpr std::size_t buffer_size = 4096;

// The cause of the first failed write (an errno value), or 0.
int failure = 0;
bool failure_reported = false;

// Decided once: what stdout is does not change during a run.
bool to_terminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

bool controls_a_terminal(unsigned char byte) {
  return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
}

constexpr std::string_view line_ends = "\n\r";

// The next piece of `bytes` to write in one call: as many whole lines as a
// pipe takes whole or not at all (PIPE_BUF bytes), so that a write a break
// cuts short leaves no part of a line in it; a longer line whole.
std::size_t next_piece(std::string_view bytes) {
  if (bytes.size() <= PIPE_BUF) return bytes.size();
  auto end = bytes.substr(0, PIPE_BUF).find_last_of(line_ends);
  if (end == std::string_view::npos) end = bytes.find_first_of(line_ends);
  return end == std::string_view::npos ? bytes.size() : end + 1;
}

// Writes the first `size` bytes of the buffer, waiting while standard output
// is blocked, and keeps the rest. A break ends the wait: at once, or with
// `last`, once output_may_wait says so. Whatever part of a piece went out, the
// rest of it is written first the next time.
void write_out(std::size_t size, bool last) {
  std::size_t done = 0;
  while (done < size && failure == 0) {
    if (break_caught() && (!last || !output_may_wait())) break;
    const std::string_view rest = std::string_view(pending).substr(done, size - done);
    // Not breakable(): after a break the last write is still made, and crtlc
    // interrupts it while it waits.
    allow_break();
    const ssize_t written = write(STDOUT_FILENO, rest.data(), next_piece(rest));
    const int cause = errno;
    hold_break();
    if (written > 0) {
      done += static_cast<std::size_t>(written);
    } else if (written == 0 || cause != EINTR) {
      failure = written == 0 ? EIO : cause;
    }
  }
  // Nothing more can go out after a failure.
  pending.erase(0, failure == 0 ? done : pending.size());
}

int flush(bool last) {
  write_out(pending.size(), last);
  if (failure == 0) return pending.empty() ? 1 : last ? -1 : 0;
  if (failure_reported) return 0;
  failure_reported = true;
  return error("Can not write to standard output: %s\n", std::strerror(failure));
}

}  // namespace

void put_text(std::string_view text) {
  if (failure != 0) return;
  pending.append(text);
  if (break_caught()) return;
  const bool line_done = text.find_first_of(line_ends) != std::string_view::npos;
  if (to_terminal() ? line_done : pending.size() >= buffer_size)
    write_out(pending.find_last_of(line_ends) + 1, false);
}

void put_format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string text = message_text(format, args);
  va_end(args);
  put_text(text);
}

std::string terminal_text(std::string_view bytes, bool keep_line_feeds) {
  std::string shown;
  shown.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!controls_a_terminal(byte) || (keep_line_feeds && c == '\n')) {
      shown += c;
      continue;
    }
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
    shown += escape;
  }
  return shown;
}

void put_disc_text(std::string_view bytes) {
  if (!to_terminal()) return put_text(bytes);
  put_text(terminal_text(bytes));
}

int flush_output() { return flush(false); }

int flush_last_output() { return flush(true); }
