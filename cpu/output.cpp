#include "output.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace out {

namespace {

// To a regular file the kernel's copy of each buffer into the page cache
// costs about as much as tracing the lines in it, and into a pipe the copy
// and the waits for the reader cost more; a writer thread does both while the
// trace fills the other buffer. The buffers are larger there, as each
// hand-over costs both threads some waiting and cache traffic: 1 MiB was the
// fastest size measured, 10% faster than 256 KiB, while two buffers of 2 MiB
// no longer fit in a CPU's cache. Everywhere else (a terminal, /dev/null)
// only buffer_size bytes of the first buffer are used, and every write is
// made by the tracing thread.
constexpr std::size_t writer_buffer_size = 1024 * 1024;
constexpr std::size_t buffer_count = 2;
char buffers[buffer_count][writer_buffer_size + line_reserve];

}  // namespace

buffer_state state{buffers[0], buffers[0] + buffer_size, 0};
volatile std::sig_atomic_t break_signal = 0;

namespace {

// The buffer being filled, and its place among the buffers.
char* buffer = buffers[0];
std::size_t filling = 0;

void* capture_target = nullptr;
capture_sink capture = nullptr;

constexpr int break_signals[] = {SIGINT, SIGTERM, SIGHUP};

// Only records the first break, and has the next line that ends call flush(),
// which ends the run on the normal path. Every trace line ends there, and so
// the run stops at the next step boundary.
void on_break(int signal_number) {
  if (break_signal == 0) break_signal = signal_number;
  state.line_at_once = 1;
}

void take(sem_t& semaphore) {
  while (sem_wait(&semaphore) != 0) {
  }
}

// The writer thread's side: plain double buffering. The tracing thread hands
// a buffer over by posting `handed` and takes the other one back from
// `empty`; the semaphores also order the bytes stored in a buffer before the
// writer reads them, and the writer's reading before the buffer is filled
// again. Buffers go out in the order handed over, by write(), so the file
// offset moves as if the tracing thread wrote them itself. Once the first
// buffer has been handed over, one buffer is always either being written or
// free in `empty`, so taking `empty` once more waits for the writer to catch
// up; only then does the tracing thread write itself.
struct writer_record {
  bool wanted = false;   // a regular file or a pipe: start at the first full buffer
  bool to_pipe = false;  // widened when the thread starts
  bool running = false;  // the thread has started; if it cannot, the tracing thread writes
  sem_t handed{};        // buffers handed over and not yet taken; the writer waits
  sem_t empty{};         // buffers written, free to fill again; the tracing thread waits
  std::size_t sizes[buffer_count]{};  // bytes to write from each buffer handed over
};
writer_record writer;

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
// the errno of a write that cannot succeed, or 0.
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
// shell sees what stopped it.
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

// A write that cannot succeed: the trace is incomplete, so the run ends now
// with the cause on standard error, and nothing more is traced or written.
// Called by either thread; _exit ends both.
[[noreturn]] void fail(int error) {
  // Put together without the string library, which cputest does not load.
  char message[256];
  const int length = std::snprintf(message, sizeof message,
                                   "Cannot write to standard output: %s!\n", std::strerror(error));
  const auto size = std::min(static_cast<std::size_t>(std::max(length, 0)), sizeof message - 1);
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, size);
  _exit(1);
}

void* write_handed_over(void*) {
  for (std::size_t next = 0;; next = (next + 1) % buffer_count) {
    take(writer.handed);
    if (const int error = write_all(buffers[next], writer.sizes[next]); error != 0) fail(error);
    sem_post(&writer.empty);
  }
}

// A pipe holds 64 KiB unless asked for more, so a buffer would reach the
// reader in sixteen pieces, the writer waking it and then waiting for it to
// drain each one. On two CPUs shared by both threads and the reader, that
// made the fastest traces run at under three fifths of their speed to
// /dev/null; a pipe that takes a whole buffer at once brought them to about
// four fifths. The system
// may refuse (EPERM past /proc/sys/fs/pipe-max-size or the user's share of
// pipe memory), and buffers then go in pieces. A pipe made larger by whoever
// shares it is left so.
void widen_pipe() {
  constexpr int wanted = static_cast<int>(writer_buffer_size);
  if (const int size = fcntl(STDOUT_FILENO, F_GETPIPE_SZ); size >= 0 && size < wanted)
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, wanted);
}

// Started at the first full buffer, so that a short run starts no thread
// and leaves a pipe as it found it.
// Break signals are blocked in it from birth.
bool start_writer() {
  if (sem_init(&writer.handed, 0, 0) != 0 || sem_init(&writer.empty, 0, buffer_count - 1) != 0)
    return false;
  sigset_t breaks, previous;
  sigemptyset(&breaks);
  for (int s : break_signals) sigaddset(&breaks, s);
  pthread_sigmask(SIG_BLOCK, &breaks, &previous);
  pthread_t thread;
  const bool started = pthread_create(&thread, nullptr, write_handed_over, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (started) pthread_detach(thread);
  return started;
}

// Hands the first `size` bytes of the buffer to the writer and goes on in
// the next buffer, which starts with the rest.
void hand_over(std::size_t size) {
  const std::size_t all = buffered();
  writer.sizes[filling] = size;
  sem_post(&writer.handed);
  take(writer.empty);
  filling = (filling + 1) % buffer_count;
  char* const next = buffers[filling];
  std::memcpy(next, buffer + size, all - size);
  buffer = next;
  state.limit = next + writer_buffer_size;
  state.cursor = next + (all - size);
}

// Returns once the writer has written every buffer handed over, so that what
// the tracing thread writes next lands after them (see writer_record).
void wait_for_writer() {
  if (writer.running) take(writer.empty);
}

// Writes the first `size` bytes of the buffer and keeps the rest at its start.
void write_out(std::size_t size) {
  const std::size_t all = buffered();
  if (const int error = write_all(buffer, size); error != 0) fail(error);
  std::memmove(buffer, buffer + size, all - size);
  state.cursor = buffer + (all - size);
}

// The end of a run that a break stopped: the lines handed to the writer, then
// the whole lines buffered; the partial one being traced is dropped. What
// went out before always ended at a line end (see flush), so the output stays
// whole lines. If the write fails, the run ends as any failed write does.
[[noreturn]] void stop() {
  wait_for_writer();
  const std::size_t size = buffered();
  write_out(whole_lines(size, size));
  end_by(break_signal);
}

// At the end of the process everything goes out after what was handed to the
// writer, the last line even if it is partial; after a break, see stop().
void finish() {
  if (capture != nullptr) {
    flush();
    return;
  }
  if (break_signal != 0) stop();
  wait_for_writer();
  write_out(buffered());
  // Too late to cost a line, but the shell is still told of the break.
  if (break_signal != 0) end_by(break_signal);
}

}  // namespace

void flush() {
  if (break_signal != 0 && capture == nullptr) stop();
  const std::size_t size = buffered();
  if (capture != nullptr) {
    state.cursor = buffer;
    capture(capture_target, buffer, size);
    return;
  }
  std::size_t whole = whole_lines(size, line_reserve + 1);
  // A partial line longer than any trace line (a long %s text) goes out, or
  // the buffer could not make room.
  if (whole == 0 && size > line_reserve) whole = size;
  if (whole == 0) return;
  if (writer.wanted) {
    writer.wanted = false;
    if (writer.to_pipe) widen_pipe();
    writer.running = start_writer();
  }
  if (writer.running) {
    hand_over(whole);
  } else {
    write_out(whole);
  }
  // A break that came while writing ends the run now, between lines.
  if (break_signal != 0) stop();
}

void capture_into(void* target, capture_sink sink) {
  flush();
  capture_target = target;
  capture = sink;
}

void discard() { state.cursor = buffer; }

void start() {
  // A closed standard output would be taken by the next file opened.
  if (fcntl(STDOUT_FILENO, F_GETFL) < 0) fail(errno);
  state.line_at_once = isatty(STDOUT_FILENO) != 0;
  struct stat output {};
  if (fstat(STDOUT_FILENO, &output) == 0) {
    writer.to_pipe = S_ISFIFO(output.st_mode);
    writer.wanted = writer.to_pipe || S_ISREG(output.st_mode);
  }
  if (writer.wanted) state.limit = buffer + writer_buffer_size;
  std::atexit(finish);
  struct sigaction action {};
  action.sa_handler = on_break;
  sigemptyset(&action.sa_mask);
  // Restarted reads and writes: a signal must not look like an I/O error.
  // A write blocked on a full pipe or terminal goes on when the signal has
  // been recorded, since the lines it holds must go out whole.
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
    // The whole buffer, line reserve included: the cursor may already lie in
    // the reserve, and the print that appends checks the limit when done.
    const auto room = static_cast<std::size_t>(state.limit + line_reserve - cursor());
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
