// Runs one of the built programs as a child process and collects everything it
// wrote, so that tests can compare exact output and exit status.
#pragma once

#include <chrono>
#include <string>
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
};

// argv[0] is the path of the program; the child sees it as its name.
program_result run_program(const std::vector<std::string>& argv, const run_options& options = {});

// A fresh empty directory under the system's temporary directory, removed with
// everything in it when the test process ends.
std::string make_temp_dir();

// Writes bytes to a file, replacing it.
void write_file(const std::string& path, const std::string& bytes);

}  // namespace test_support
