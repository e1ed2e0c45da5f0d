#include "output.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sh2.h"

namespace out {

namespace {

// Lines are rendered into `lines`. To a terminal or /dev/null the tracing
// thread writes them from there. To a regular file or a pipe the kernel's
// copy of the trace costs about as much as tracing it, so a writer thread
// makes the writes while the trace goes on: every staged_size bytes the
// tracing thread streams the whole lines into a ring of hand-over buffers
// (see stream), and the writer writes each one once it is full. Four of
// 512 KiB: the writer's pace varies with the kernel's work for each write,
// and with smaller buffers the trace waits less for it than with two of
// 1 MiB, for the same memory.
constexpr std::size_t handed_size = 512 * 1024;
constexpr std::size_t buffer_count = 4;
// Rendered lines that stay in the first-level cache until they are streamed.
constexpr std::size_t staged_size = 64 * 1024;
// With one CPU, where the tracing thread writes a file or a pipe itself,
// 1 MiB writes took 15% less time than 256 KiB ones; a pipe holds as much
// once widened.
constexpr std::size_t large_write = 1024 * 1024;
char lines[buffer_size + line_reserve];
// The hand-over buffers one after the other, with room for a line past the
// first large_write bytes, where the trace is rendered with one CPU (see
// start). Allocated only for a file or a pipe, on one large page where the
// system offers it: on this virtual machine the first store to each small
// page cost 15 to 20 us, 8 to 12 ms for 2 MiB, a quarter of the time of the
// shorter traces.
constexpr std::size_t handed_bytes = buffer_count * handed_size + line_reserve;
static_assert(large_write + line_reserve <= handed_bytes);
char* handed = nullptr;

char* handed_buffer(std::size_t index) { return handed + index * handed_size; }

}  // namespace

buffer_state state{lines, lines + buffer_size, 0};
volatile std::sig_atomic_t stop_asked = 0;

namespace {

// The buffer that lines are rendered into.
char* buffer = lines;

void* capture_target = nullptr;
capture_sink capture = nullptr;

// Whether the output has stopped for good, the errno of the write that
// failed (0 if none did), and whom to tell (see start).
bool stopped = false;
int failure = 0;
void (*report_stop)() = nullptr;

void take(sem_t& semaphore) {
  while (sem_wait(&semaphore) != 0) {
  }
}

// The writer thread's side: a ring of buffers. The tracing thread hands a
// buffer over by posting `handed` and takes the next one from `empty`; the
// semaphores also order the bytes stored in a buffer before the writer reads
// them, and the writer's reading before the buffer is filled again. Buffers
// go out in the order handed over, by write(), so the file offset moves as
// if the tracing thread wrote them itself. Every buffer but the one being
// filled is either being written or free in `empty`, so taking all of those
// waits for the writer to catch up; only then does the tracing thread write
// itself.
struct writer_record {
  bool wanted = false;   // a regular file or a pipe, and two CPUs: lines are staged
  bool to_pipe = false;  // to be widened at the first full buffer
  bool started = false;  // tried at the first full buffer
  bool running = false;  // the thread has started; if it cannot, the tracing thread writes
  std::size_t filling = 0;  // the hand-over buffer being filled
  std::size_t filled = 0;   // and the bytes in it
  sem_t handed{};        // buffers handed over and not yet taken; the writer waits
  sem_t empty{};         // buffers written, free to fill again; the tracing thread waits
  std::size_t sizes[buffer_count]{};  // bytes to write from each buffer handed over
  // The errno of the writer's write that failed, or 0; looked at by the
  // tracing thread each time it takes a buffer back.
  std::atomic<int> error{0};
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

// The output stops for good, once, and the caller is told.
void end_output() {
  if (stopped) return;
  stopped = true;
  if (report_stop != nullptr) report_stop();
}

// A write that cannot succeed: the trace is incomplete, so nothing more is
// written, and the caller ends the run (see start).
void fail(int error) {
  if (failure == 0) failure = error;
  end_output();
}

// After a failed write the writer only hands buffers back, which is all that
// the tracing thread waits for: it finds the error when it next takes one
// (see hand_over and write_staged), and nothing written after the failure
// reaches standard output. The writer writes nothing else, so the run ends
// on the tracing thread, as every other run does.
void* write_handed_over(void*) {
  for (std::size_t next = 0;; next = (next + 1) % buffer_count) {
    take(writer.handed);
    if (writer.error.load(std::memory_order_relaxed) == 0)
      if (const int error = write_all(handed_buffer(next), writer.sizes[next]); error != 0)
        writer.error.store(error, std::memory_order_relaxed);
    sem_post(&writer.empty);
  }
}

// The writer's failure, if any, becomes the run's.
void take_writer_error() {
  if (const int error = writer.error.load(std::memory_order_relaxed); error != 0) fail(error);
}

// A pipe holds 64 KiB unless asked for more, so a buffer would reach the
// reader in sixteen pieces, the writer waking it and then waiting for it to
// drain each one. On two CPUs shared by both threads and the reader, that
// made the fastest traces run at under three fifths of their speed to
// /dev/null; a pipe that takes a whole buffer at once brought them to about
// four fifths. With one CPU, where the tracing thread writes, the trace took
// a third longer into a 64 KiB pipe. The system may refuse (EPERM past
// /proc/sys/fs/pipe-max-size or the user's share of pipe memory), and
// buffers then go in pieces. A pipe made larger by whoever shares it is left
// so. Done once, at the first full buffer, so that a short run leaves a pipe
// as it found it.
void widen_pipe() {
  if (!writer.to_pipe) return;
  writer.to_pipe = false;
  constexpr int wanted = static_cast<int>(large_write);
  if (const int size = fcntl(STDOUT_FILENO, F_GETPIPE_SZ); size >= 0 && size < wanted)
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, wanted);
}

// Whether this process may run on one CPU only (taskset, cpusets).
bool one_cpu() {
  cpu_set_t allowed;
  return sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) < 2;
}

// Signals are blocked in it from birth, so that the caller's handlers, which
// may ask for a stop (stop_at_line_end), run on the tracing thread. Left
// open are those that its own writes raise (SIGPIPE, SIGXFSZ), which end the
// process as they would any program, and those of a fault.
bool start_writer() {
  if (sem_init(&writer.handed, 0, 0) != 0 || sem_init(&writer.empty, 0, buffer_count - 1) != 0)
    return false;
  sigset_t blocked, previous;
  sigfillset(&blocked);
  for (int s : {SIGPIPE, SIGXFSZ, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP}) sigdelset(&blocked, s);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  pthread_t thread;
  const bool started = pthread_create(&thread, nullptr, write_handed_over, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (started) pthread_detach(thread);
  return started;
}

// Copies with streaming stores, which write whole cache lines to memory
// without taking them into the cache (where there are none, as on 32-bit
// x86 without SSE2, it is a plain copy). Rendered straight into the buffers
// that the writer thread hands to the kernel, every cache line would be
// written on one core, read by the kernel on the other and written again.
// On this two-core virtual machine, whose CPUs move between the host's
// cores from minute to minute, that tripled the cost of tracing whenever
// their caches were far apart (a cache line's round trip 450 ns or more):
// a trace into a new file took 2.4 times as long as streamed. When they
// were close it was 10% faster than streamed on the fastest trace at a
// round trip of 180 to 200 ns, and slower on others at 100 to 120 ns.
// Streamed, a line is stored once and read from memory; the two partial
// lines at the ends are copied as usual.
void stream(char* to, const char* from, std::size_t size) {
#if defined(__SSE2__)
  const std::size_t head = std::min(size, (0 - reinterpret_cast<std::uintptr_t>(to)) % 64);
  std::memcpy(to, from, head);
  to += head;
  from += head;
  size -= head;
  for (; size >= 64; to += 64, from += 64, size -= 64) {
    auto* const line = reinterpret_cast<__m128i*>(to);
    const auto* const source = reinterpret_cast<const __m128i_u*>(from);
    _mm_stream_si128(line, _mm_loadu_si128(source));
    _mm_stream_si128(line + 1, _mm_loadu_si128(source + 1));
    _mm_stream_si128(line + 2, _mm_loadu_si128(source + 2));
    _mm_stream_si128(line + 3, _mm_loadu_si128(source + 3));
  }
#endif
  std::memcpy(to, from, size);
}

// Streaming stores are not ordered with the others: the hand-over must
// come after them.
void end_streams() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

// Writes the hand-over buffer being filled from the tracing thread.
void write_filled() {
  if (const int error = write_all(handed_buffer(writer.filling), writer.filled); error != 0) fail(error);
  writer.filled = 0;
}

// Hands the buffer being filled to the writer and goes on in the next one.
// The thread starts at the first full buffer, so that a short run starts
// none and leaves a pipe as it found it; without it the buffer is written
// here.
void hand_over() {
  if (!writer.started) {
    writer.started = true;
    widen_pipe();
    writer.running = start_writer();
  }
  if (!writer.running) return write_filled();
  end_streams();
  writer.sizes[writer.filling] = writer.filled;
  sem_post(&writer.handed);
  take(writer.empty);
  take_writer_error();
  writer.filling = (writer.filling + 1) % buffer_count;
  writer.filled = 0;
}

// Keeps what follows the first `size` bytes of the buffer at its start.
void keep_rest(std::size_t size) {
  const std::size_t all = buffered();
  std::memmove(buffer, buffer + size, all - size);
  state.cursor = buffer + (all - size);
}

// Stages the first `size` bytes of the buffer for the writer.
void stage(std::size_t size) {
  if (writer.filled + size > handed_size) hand_over();
  stream(handed_buffer(writer.filling) + writer.filled, buffer, size);
  writer.filled += size;
  keep_rest(size);
}

// Returns once everything staged has been written, so that what the tracing
// thread writes next lands after it (see writer_record).
void write_staged() {
  if (!writer.running) return write_filled();
  if (writer.filled > 0) hand_over();
  // Every buffer but the one being filled, free again once written.
  for (std::size_t i = 1; i < buffer_count; ++i) take(writer.empty);
  for (std::size_t i = 1; i < buffer_count; ++i) sem_post(&writer.empty);
  take_writer_error();
}

// Writes the first `size` bytes of the buffer and keeps the rest at its start.
void write_out(std::size_t size) {
  if (const int error = write_all(buffer, size); error != 0) fail(error);
  keep_rest(size);
}

// The stop that the caller asked for: the lines handed to the writer, then
// the whole lines buffered; the partial one being traced is dropped. What
// went out before always ended at a line end (see flush), so the output stays
// whole lines. A failed write is reported as any other.
void stop() {
  if (stopped) return;
  write_staged();
  const std::size_t size = buffered();
  if (!stopped) write_out(whole_lines(size, size));
  end_output();
}

}  // namespace

void flush() {
  const std::size_t size = buffered();
  if (capture != nullptr) {
    state.cursor = buffer;
    capture(capture_target, buffer, size);
    return;
  }
  if (stop_asked != 0) stop();
  if (stopped) {
    discard();
    return;
  }
  std::size_t whole = whole_lines(size, line_reserve + 1);
  // A partial line longer than any trace line (a long %s text) goes out, or
  // the buffer could not make room.
  if (whole == 0 && size > line_reserve) whole = size;
  if (whole == 0) return;
  if (writer.wanted) {
    stage(whole);
  } else {
    widen_pipe();
    write_out(whole);
  }
  // A stop asked for while writing comes now, between lines.
  if (stop_asked != 0) stop();
}

void capture_into(void* target, capture_sink sink) {
  flush();
  capture_target = target;
  capture = sink;
}

void discard() { state.cursor = buffer; }

int finish() {
  if (capture != nullptr) {
    flush();
    return 0;
  }
  if (stop_asked != 0) stop();
  if (!stopped) write_staged();
  if (!stopped) write_out(buffered());
  return failure;
}

int start(void (*on_stop)()) {
  report_stop = on_stop;
  // A closed standard output would be taken by the next file opened.
  if (fcntl(STDOUT_FILENO, F_GETFL) < 0) return errno;
  state.line_at_once = isatty(STDOUT_FILENO) != 0;
  struct stat output {};
  if (fstat(STDOUT_FILENO, &output) == 0) {
    writer.to_pipe = S_ISFIFO(output.st_mode);
    writer.wanted = writer.to_pipe || S_ISREG(output.st_mode);
  }
  if (writer.wanted) {
    // Without them the tracing thread writes from `lines`.
    void* memory = nullptr;
    writer.wanted = posix_memalign(&memory, large_page, handed_bytes) == 0;
    handed = static_cast<char*>(memory);
#ifdef MADV_HUGEPAGE
    if (writer.wanted) madvise(handed, handed_bytes / large_page * large_page, MADV_HUGEPAGE);
#endif
  }
  if (writer.wanted && one_cpu()) {
    // A writer thread could only take turns with the trace there, and
    // streaming would cost the kernel's copy its cache (a quarter more
    // time, measured): the lines go out from where they are rendered, in
    // large writes.
    writer.wanted = false;
    buffer = handed;
    state.cursor = buffer;
    state.limit = buffer + large_write;
  } else if (writer.wanted) {
    state.limit = buffer + staged_size;
  }
  return 0;
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
