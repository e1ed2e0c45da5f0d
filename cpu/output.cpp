#include "output.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace out {

char buffer[buffer_size + line_reserve];
buffer_state state{buffer, buffer + buffer_size, false};

namespace {

static_assert(std::atomic<char*>::is_always_lock_free, "the signal handler reads the cursor");

void* capture_target = nullptr;
capture_sink capture = nullptr;

// While flush() or finish() writes, a break signal is only recorded here and
// acted on when the writing is done, so that no line goes out twice.
volatile std::sig_atomic_t writing = 0;
volatile std::sig_atomic_t caught = 0;

constexpr int break_signals[] = {SIGINT, SIGTERM, SIGHUP};

std::size_t buffered() { return static_cast<std::size_t>(cursor() - buffer); }

// How many of the buffer's first `size` bytes end at its last line end,
// looking back no further than `scan` bytes; 0 when there is none.
std::size_t whole_lines(std::size_t size, std::size_t scan) {
  for (std::size_t tail = 0; tail < size && tail < scan; ++tail)
    if (buffer[size - 1 - tail] == '\n') return size - tail;
  return 0;
}

// Standard output may have been left non-blocking by whoever shares it.
bool wait_until_writable() {
  pollfd output{STDOUT_FILENO, POLLOUT, 0};
  while (poll(&output, 1, -1) < 0)
    if (errno != EINTR && errno != EAGAIN) return false;
  return true;
}

// Writes everything, waiting while standard output would block; returns
// the errno of a write that cannot succeed, or 0. Async-signal-safe.
int write_all(const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, size);
    if (written >= 0) {
      bytes += written;
      size -= static_cast<std::size_t>(written);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!wait_until_writable()) return errno;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// Ends the process by the signal, as if it had never been caught, so that the
// shell sees what stopped it. Async-signal-safe.
[[noreturn]] void end_by(int signal_number) {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal_number);
  _exit(128 + signal_number);
}

// The whole lines buffered go out, the partial one being traced does not,
// and the process ends by the signal. What went out before always ended at
// a line end (see flush), so the output stays whole lines. If the write
// fails there is no one to tell but the shell, which sees the signal.
void on_break(int signal_number) {
  if (writing != 0) {
    if (caught == 0) caught = signal_number;
    return;
  }
  const auto size = static_cast<std::size_t>(cursor() - buffer);
  std::atomic_signal_fence(std::memory_order_acquire);
  write_all(buffer, whole_lines(size, size));
  end_by(signal_number);
}

// A write that cannot succeed: the trace is incomplete, so the run ends now
// with the cause on standard error, and nothing more is traced or written.
[[noreturn]] void fail(int error) {
  // Put together without the string library, which cputest does not load.
  char message[256];
  const int length =
      std::snprintf(message, sizeof message, "Cannot write to standard output: %s!\n", std::strerror(error));
  const auto size = std::min(static_cast<std::size_t>(std::max(length, 0)), sizeof message - 1);
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, size);
  _exit(1);
}

// Writes the first `size` bytes of the buffer and keeps the rest at its start.
void write_out(std::size_t size) {
  writing = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t all = buffered();
  if (const int error = write_all(buffer, size); error != 0) fail(error);
  std::memmove(buffer, buffer + size, all - size);
  state.cursor.store(buffer + (all - size), std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  writing = 0;
  // A signal that came while writing ends the run now, between lines.
  if (caught != 0) end_by(caught);
}

// At the end of the process the last line goes out even if it is partial.
void finish() {
  if (capture != nullptr) {
    flush();
  } else {
    write_out(buffered());
  }
}

}  // namespace

void flush() {
  const std::size_t size = buffered();
  if (capture != nullptr) {
    state.cursor.store(buffer, std::memory_order_relaxed);
    capture(capture_target, buffer, size);
    return;
  }
  std::size_t whole = whole_lines(size, line_reserve + 1);
  // A partial line longer than any trace line (a long %s text) goes out, or
  // the buffer could not make room.
  if (whole == 0 && size > line_reserve) whole = size;
  write_out(whole);
}

void capture_into(void* target, capture_sink sink) {
  flush();
  capture_target = target;
  capture = sink;
}

void discard() { state.cursor.store(buffer, std::memory_order_relaxed); }

void start() {
  // A closed standard output would be taken by the next file opened.
  if (fcntl(STDOUT_FILENO, F_GETFL) < 0) fail(errno);
  state.line_at_once = isatty(STDOUT_FILENO) != 0;
  std::atexit(finish);
  struct sigaction action {};
  action.sa_handler = on_break;
  sigemptyset(&action.sa_mask);
  for (int s : break_signals) sigaddset(&action.sa_mask, s);
  // Restarted reads and writes: a signal must not look like an I/O error.
  action.sa_flags = SA_RESTART;
  for (int s : break_signals) {
    struct sigaction previous {};
    // Left ignored when the caller ignores it (nohup, background jobs).
    if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
}

void append(const char* bytes, std::size_t size) {
  while (size > 0) {
    // The whole array, line reserve included: the cursor may already lie in
    // the reserve, and the print that appends checks the limit when done.
    const auto room = sizeof buffer - buffered();
    if (room == 0) {
      flush();
      continue;
    }
    const std::size_t piece = size < room ? size : room;
    std::memcpy(cursor(), bytes, piece);
    advance_to(cursor() + piece);
    bytes += piece;
    size -= piece;
  }
}

}  // namespace out
