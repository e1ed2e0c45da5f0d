// cputest through its binary when writing or reading goes wrong and when it is
// stopped by a signal: nothing is lost or reported as success, and no line is
// torn.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "cputest_runner.h"

namespace {

using namespace std::chrono_literals;
using test_support::program_result;
using test_support::run_options;

const std::string sleep_line = "00000000 001B: SLEEP\n";

std::string write_error(int error) {
  return std::string("Cannot write to standard output: ") + std::strerror(error) + "!\n";
}

std::string nops(std::uint32_t count) {
  std::string bytes;
  for (std::uint32_t i = 0; i < count; ++i) bytes += words({0x0009});
  return bytes;
}

std::string nop_trace(std::uint32_t count) {
  std::string trace;
  char line[32];
  for (std::uint32_t i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "%08X 0009: NOP\n", 2 * i);
    trace += line;
  }
  return trace;
}

std::string program_file(const std::string& bytes) {
  const std::string path = test_support::make_temp_dir() + "/program.bin";
  test_support::write_file(path, bytes);
  return path;
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// For long outputs: where they part rather than both texts.
void expect_same_text(const std::string& actual, const std::string& expected) {
  if (actual == expected) return;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  ADD_FAILURE() << "from byte " << at << " of " << expected.size() << ": \"" << actual.substr(at, 40)
                << "\" instead of \"" << expected.substr(at, 40) << "\"";
}

// The variables every script and run with faults needs: the binary, the fault
// library and leave for it to come before the sanitizer runtime.
std::vector<std::string> environment(std::vector<std::string> more = {}) {
  const char* const asan = std::getenv("ASAN_OPTIONS");
  more.push_back(std::string("CPUTEST=") + CPUTEST_PATH);
  more.push_back(std::string("FAULTY_IO=") + FAULTY_IO_PATH);
  more.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
                 "verify_asan_link_order=0");
  return more;
}

// sh -c script, with $1 the program file and $2 a scratch file.
std::vector<std::string> shell(const std::string& script, const std::string& program,
                               const std::string& scratch = "/dev/null") {
  return {"/bin/sh", "-c", script, "sh", program, scratch};
}

// The trace of the endless SLEEP: whole lines, at least one, all alike.
void expect_whole_sleep_lines(const std::string& out) {
  ASSERT_GT(out.size(), cputest_header.size());
  EXPECT_EQ(out.substr(0, cputest_header.size()), cputest_header);
  const std::string trace = out.substr(cputest_header.size());
  ASSERT_EQ(trace.size() % sleep_line.size(), 0u) << "ends inside a line";
  for (std::size_t at = 0; at < trace.size(); at += sleep_line.size())
    ASSERT_EQ(trace.compare(at, sleep_line.size(), sleep_line), 0) << "at " << at;
}

TEST(cputest_io, a_write_that_fails_ends_the_run_with_its_cause) {
  const std::string one_nop = program_file(words({0x0009}));
  const std::string endless = program_file(words({0x001B}));
  const struct {
    const char* name;
    std::string script;
    std::string program;
    std::string out;
    std::string err;
  } cases[] = {
      {"a run that ends, to a full device", R"("$CPUTEST" "$1" >/dev/full; echo "status $?" >&2)",
       one_nop, "", write_error(ENOSPC) + "status 1\n"},
      {"an endless run, to a full device", R"("$CPUTEST" "$1" >/dev/full; echo "status $?" >&2)",
       endless, "", write_error(ENOSPC) + "status 1\n"},
      {"standard output closed", R"("$CPUTEST" "$1" >&-; echo "status $?" >&2)", endless, "",
       write_error(EBADF) + "status 1\n"},
      // A file that can grow no further: the write stops mid-line, as on a
      // full file system.
      {"a file at its size limit", R"(ulimit -f 64; trap '' XFSZ; "$CPUTEST" "$1" >"$2"; echo "status $?" >&2)",
       endless, "", write_error(EFBIG) + "status 1\n"},
      {"the reader gone, SIGPIPE ignored",
       R"(trap '' PIPE; { "$CPUTEST" "$1"; echo "status $?" >&2; } | head -n 1)", endless,
       "SH-2 CPU Test by the ruvo developers\n", write_error(EPIPE) + "status 1\n"},
      {"the reader gone, SIGPIPE at its default", R"({ "$CPUTEST" "$1"; echo "status $?" >&2; } | head -n 1)",
       endless, "SH-2 CPU Test by the ruvo developers\n", "status 141\n"},
  };
  const std::string scratch = test_support::make_temp_dir() + "/trace";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    run_options options;
    options.env = environment();
    options.timeout = 10s;
    const program_result r = test_support::run_program(shell(c.script, c.program, scratch), options);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

// Standard output left non-blocking by someone else and a reader that stalls
// twice: every line arrives.
TEST(cputest_io, a_non_blocking_output_waits_for_a_slow_reader) {
  constexpr std::uint32_t count = 65536;
  run_options options;
  options.env = environment();
  const program_result r = test_support::run_program(
      shell(R"({ FAULTY_IO_NONBLOCKING_STDOUT=1 LD_PRELOAD="$FAULTY_IO" "$CPUTEST" "$1"; echo "status $?" >&2; } |
               { sleep 0.3; dd bs=4096 count=16 2>/dev/null; sleep 0.3; cat; })",
            program_file(nops(count))),
      options);
  expect_same_text(r.out, cputest_header + nop_trace(count));
  EXPECT_EQ(r.err, "status 0\n");
}

// Polls until the file exists and holds at least min_size bytes.
bool wait_for_file(const std::string& path, off_t min_size, std::chrono::steady_clock::time_point deadline) {
  struct stat info {};
  while (stat(path.c_str(), &info) != 0 || info.st_size < min_size) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(cputest_io, a_break_signal_ends_the_run_after_the_last_whole_line) {
  const std::string endless = program_file(words({0x001B}));
  enum destination { file, pipe, terminal };
  const struct {
    int signal;
    destination to;
    bool while_loading;  // else while tracing
  } cases[] = {
      {SIGINT, file, false},     {SIGTERM, file, false}, {SIGHUP, file, false},
      {SIGINT, pipe, false},     {SIGTERM, pipe, false}, {SIGHUP, pipe, false},
      {SIGINT, terminal, false},
      // Nothing has been written yet, and the banner is buffered.
      {SIGTERM, file, true},     {SIGHUP, pipe, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + " to " +
                 (c.to == file ? "a file" : c.to == pipe ? "a pipe" : "a terminal") +
                 (c.while_loading ? ", while loading" : ", while tracing"));
    const std::string trace = test_support::make_temp_dir() + "/trace";
    std::string script = R"(exec "$CPUTEST" "$1")";
    if (c.while_loading)
      script = R"(export FAULTY_IO_READ_PAUSE="$2.loading" LD_PRELOAD="$FAULTY_IO"; )" + script;
    if (c.to == file) script += R"( >"$2")";
    run_options options;
    options.env = environment();
    options.terminal = c.to == terminal;
    test_support::running_program child = test_support::start_program(shell(script, endless, trace), options);
    EXPECT_TRUE(c.while_loading ? wait_for_file(trace + ".loading", 0, child.deadline)
                : c.to == file  ? wait_for_file(trace, 1, child.deadline)
                                : test_support::wait_for_output(child, sleep_line));
    kill(child.pid, c.signal);
    const program_result r = test_support::finish_program(child);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.term_signal, c.signal);
    EXPECT_EQ(r.err, "");
    const std::string out = c.to == file ? read_file(trace) : r.out;
    if (c.while_loading) {
      EXPECT_EQ(out, cputest_banner);
    } else {
      expect_whole_sleep_lines(out);
    }
  }
}

TEST(cputest_io, a_read_error_fails_the_load) {
  const std::string program = program_file(nops(65536));  // 128 KiB
  const struct {
    const char* name;
    const char* fault;
    std::string after_banner;
    int status;
  } cases[] = {
      {"an error after 64 KiB", "FAULTY_IO_READ_ERROR_AT=65536",
       "Cannot read " + program + ": " + std::strerror(EIO) + "!\n", 1},
      {"an error at once", "FAULTY_IO_READ_ERROR_AT=0", "Cannot read " + program + ": " + std::strerror(EIO) + "!\n",
       1},
      // Not an error: the program is traced as far as it was read.
      {"the file shrank to 64 KiB", "FAULTY_IO_READ_END_AT=65536", cputest_counts + nop_trace(32768), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    run_options options;
    options.env = environment({std::string("LD_PRELOAD=") + FAULTY_IO_PATH, c.fault});
    const program_result r = run_cputest_file(program, options);
    expect_same_text(r.out, cputest_banner + c.after_banner);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_status, c.status);
  }
}

}  // namespace
