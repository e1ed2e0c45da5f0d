// Runs one of the built programs as a child process and collects everything it
// wrote, so that tests can compare exact output and exit status.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

struct program_result {
  std::string out;   // everything written to standard output
  std::string err;   // everything written to standard error
  int exit_status;   // the exit status, or -1 when the child did not exit normally
  int term_signal;   // the signal that ended the child, or 0
  bool timed_out;    // the child was killed because it ran past the time limit
};

struct run_options {
  std::string input;                       // written to the child's standard input
  std::chrono::milliseconds timeout{20000};
  // Stop reading standard output once this many bytes have arrived and kill the
  // child (for programs that never end by themselves); 0 reads to the end.
  std::size_t max_output = 0;
  // "NAME=value" entries added to the child's environment, each replacing a
  // variable of the same name.
  std::vector<std::string> env;
  // Standard output is a pseudo-terminal in raw mode (bytes pass unchanged)
  // instead of a pipe; `out` is what the terminal received.
  bool terminal = false;
  // The same for standard error and `err`.
  bool error_terminal = false;
  // Standard output goes to this descriptor instead, which the harness does
  // not read (a pipe the test keeps full); `out` stays empty.
  int out_fd = -1;
};

// argv[0] is the path of the program; the child sees it as its name.
program_result run_program(const std::vector<std::string>& argv, const run_options& options = {});

// A child that keeps running while the test talks to it: start it, wait until it
// has written something, send it a signal, then collect the rest.
struct running_program {
  pid_t pid = -1;
  int out_fd = -1;
  int err_fd = -1;
  bool out_open = false;
  bool err_open = false;
  program_result result{};  // the output so far
  std::chrono::steady_clock::time_point deadline;
};

// Starts the child with SIGINT, SIGTERM, SIGHUP and SIGPIPE at their default
// actions and no signal blocked; options.timeout bounds the whole run.
running_program start_program(const std::vector<std::string>& argv,
                              const run_options& options = {});

// Reads the child's output until its standard output contains `text`; false when
// the child closed its output or the deadline passed first.
bool wait_for_output(running_program& child, std::string_view text);

// Reads to the end of the child's output (killing it at the deadline, or
// `within` from now when given) and waits for it to end.
program_result finish_program(running_program& child,
                              std::optional<std::chrono::milliseconds> within = {});

// A fresh empty directory under the system's temporary directory, removed with
// everything in it when the test process ends.
std::string make_temp_dir();

// The "ASAN_OPTIONS=..." entry for a child that gets a library preloaded: the
// sanitizer runtime, where there is one, must tolerate coming after it.
std::string asan_options_for_preloading();

// Writes bytes to a file, replacing it.
void write_file(const std::string& path, const std::string& bytes);
// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace test_support
