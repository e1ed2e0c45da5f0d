// cputest: loads any file into the emulated memory and traces it as SH-2 code,
// one line per instruction.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "decoder.h"
#include "output.h"
#include "sh2.h"

namespace {

// ---------------------------------------------------------------------------
// How a run ends: at a break, by the break's signal after every whole line
// traced by then; at a failed write, at once with its cause and status 1.

constexpr int break_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The first break that came, or 0.
volatile std::sig_atomic_t break_signal = 0;

// Only records the first break and asks the output to stop at the next line
// end, which every trace line reaches: the run stops at the next step.
void on_break(int signal_number) {
  if (break_signal == 0) break_signal = signal_number;
  out::stop_at_line_end();
}

void take_breaks() {
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

// The output has stopped for good (a break's lines are out, or a write
// failed): the trace ends after the step in progress, by the halt flag that
// the loop checks anyway, and nothing more is traced.
void stop_tracing() { sh2_state.halt_flag = 1; }

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

// A write that cannot succeed: the trace is incomplete, and the run ends with
// the cause on standard error.
int write_failed(int error) {
  // Put together without the string library, which cputest does not load.
  char message[256];
  const int length = std::snprintf(message, sizeof message,
                                   "Cannot write to standard output: %s!\n", std::strerror(error));
  const auto size = std::min(static_cast<std::size_t>(std::max(length, 0)), sizeof message - 1);
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, size);
  return 1;
}

// ---------------------------------------------------------------------------
// The run

void banner() {
  out::print<"SH-2 CPU Test by the ruvo developers\n">();
  out::print<"This CPU core is part of ruvo. This program was made\n">();
  out::print<"to demonstrate the progress that I am having with ruvo.\n">();
}

void usage(const char* program_name) {
  out::print<"\nUsage: %s [rom file]\n">(program_name);
  out::print<"[rom file] can be any kind of file. This program will\n">();
  out::print<"try to execute it in the sh2 cpu.\n">();
}

// Pipes, sockets and directories have no length we can trust; they are
// refused rather than read until they end.
bool has_no_length(mode_t mode) { return S_ISDIR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode); }

// The file's length in bytes, or -1 when it cannot be determined.
off_t measure(int file) {
  struct stat info {};
  if (fstat(file, &info) != 0 || has_no_length(info.st_mode)) return -1;
  const off_t size = lseek(file, 0, SEEK_END);
  if (size < 0 || lseek(file, 0, SEEK_SET) != 0) return -1;
  return size;
}

struct load_result {
  std::uint32_t loaded;  // bytes stored from address 0
  int error;             // errno of a failed read, or 0
};

// Copies the file into memory from address 0. Fewer bytes than expected are
// stored only if the file shrank meanwhile; a read error fails the load.
// Expected is at most the memory's size, so the file is read straight into it.
load_result load(int file, std::uint32_t expected) {
  std::uint32_t address = 0;
  while (address < expected) {
    const std::size_t want = std::min<std::size_t>(65536, expected - address);
    const ssize_t got = read(file, &sh2_memory[address], want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {address, errno};
    if (got == 0) break;
    address += static_cast<std::uint32_t>(got);
  }
  return {address, 0};
}

// Kept out of main so that the loop gets the registers to itself. A break or
// a failed write stops the output at a line end, which halts the trace
// (stop_tracing), so the loop has nothing more to check for them. Aligned to
// a cache line so that its speed does not hang on the code linked before it:
// moved by 32 bytes, with two more library calls elsewhere, it traced 5%
// slower.
[[gnu::noinline, gnu::aligned(64)]] void trace(std::uint32_t end) {
  sh2_state.PC = 0;
  sh2_state.SR = 0;
  look_ahead next;
  while (trace_goes_on(end)) trace_instruction(next);
}

// Returns the exit status of a run that goes to its end.
int run(int argc, char** argv) {
  banner();
  if (argc != 2) {
    usage(argc > 0 ? argv[0] : "cputest");
    return 1;
  }
  const char* path = argv[1];
  // Opening a FIFO would wait for a writer; refuse it before it can block.
  struct stat info {};
  if (stat(path, &info) == 0 && has_no_length(info.st_mode)) {
    out::print<"Cannot determine the size of %s!\n">(path);
    return 1;
  }
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    out::print<"Cannot open %s!\n">(path);
    return 1;
  }
  const off_t size = measure(file);
  if (size < 0) {
    close(file);
    out::print<"Cannot determine the size of %s!\n">(path);
    return 1;
  }
  if (size > static_cast<off_t>(memory_size)) {
    close(file);
    out::print<"%s does not fit in the 16 MiB memory!\n">(path);
    return 1;
  }
  prepare_memory(static_cast<std::uint32_t>(size));
  const load_result load_end = load(file, static_cast<std::uint32_t>(size));
  close(file);
  // Half a program traced as if it were all would be a false result. Like
  // the other load failures this goes to standard output, with the banner.
  if (load_end.error != 0) {
    out::print<"Cannot read %s: %s!\n">(path, std::strerror(load_end.error));
    return 1;
  }

  // A break while loading ends the run before anything is traced.
  if (break_signal != 0) return 1;
  build_decode_table();
  trace(load_end.loaded);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int error = out::start(stop_tracing); error != 0) return write_failed(error);
  take_breaks();
  const int status = run(argc, argv);
  if (const int error = out::finish(); error != 0) return write_failed(error);
  // Also after a break too late to cost a line: the shell is told of it.
  if (break_signal != 0) end_by(break_signal);
  return status;
}
