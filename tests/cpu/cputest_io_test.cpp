// cputest through its binary when writing or reading goes wrong and when it is
// stopped by a signal: nothing is lost or reported as success, and no line is
// torn.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "cputest_runner.h"

namespace {

using namespace std::chrono_literals;
using namespace sh2_asm;
using test_support::program_result;

std::string write_error(int error) {
  return std::string("Cannot write to standard output: ") + std::strerror(error) + "!\n";
}

// The binary and the fault library for the scripts, and leave for the library
// to come before the sanitizer runtime.
test_support::run_options with_faults(std::vector<std::string> env = {}) {
  env.push_back(std::string("CPUTEST=") + CPUTEST_PATH);
  env.push_back(std::string("FAULTY_IO=") + FAULTY_IO_PATH);
  env.push_back(test_support::asan_options_for_preloading());
  test_support::run_options options;
  options.env = env;
  options.timeout = 10s;
  return options;
}

// sh -c script, with $1 the program file and $2 a scratch file.
std::vector<std::string> shell(const std::string& script, const std::string& program,
                               const std::string& scratch = "/dev/null") {
  return {"/bin/sh", "-c", script, "sh", program, scratch};
}

TEST(cputest_io, a_write_that_fails_ends_the_run_with_its_cause) {
  const std::string one_nop = program_file(program_bytes({NOP()}));
  const std::string endless = program_file(program_bytes({SLEEP()}));
  const std::string banner_line = "SH-2 CPU Test by the ruvo developers\n";
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
      // A file that can grow no further stops mid-line, as on a full disk.
      {"a file at its size limit", R"(ulimit -f 64; trap '' XFSZ; "$CPUTEST" "$1" >"$2"; echo "status $?" >&2)",
       endless, "", write_error(EFBIG) + "status 1\n"},
      // 2 MiB: buffers written by the writer thread before one fails. The
      // file holds every byte up to the limit.
      {"a file at its size limit after some buffers",
       R"sh(ulimit -f 4096; trap '' XFSZ; "$CPUTEST" "$1" >"$2";
            echo "status $? size $(wc -c <"$2")" >&2)sh",
       endless, "", write_error(EFBIG) + "status 1 size 2097152\n"},
      // The writer thread leaves SIGXFSZ unblocked, so it ends the run as before.
      {"a file at its size limit, SIGXFSZ at its default",
       R"sh(ulimit -c 0; ulimit -f 4096; { "$CPUTEST" "$1" >"$2"; } 2>/dev/null;
            echo "status $? size $(wc -c <"$2")" >&2)sh",
       endless, "", "status " + std::to_string(128 + SIGXFSZ) + " size 2097152\n"},
      {"the reader gone, SIGPIPE ignored",
       R"(trap '' PIPE; { "$CPUTEST" "$1"; echo "status $?" >&2; } | head -n 1)", endless, banner_line,
       write_error(EPIPE) + "status 1\n"},
      {"the reader gone, SIGPIPE at its default", R"({ "$CPUTEST" "$1"; echo "status $?" >&2; } | head -n 1)",
       endless, banner_line, "status 141\n"},
  };
  const std::string scratch = test_support::make_temp_dir() + "/trace";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const program_result r = test_support::run_program(shell(c.script, c.program, scratch), with_faults());
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

// Standard output left non-blocking by someone else, and a reader that stalls
// twice: every line arrives. Six megabytes, so that the writer thread finds
// the pipe full too, however large it has made it.
TEST(cputest_io, a_non_blocking_output_waits_for_a_slow_reader) {
  std::string program, trace = cputest_header;
  for (std::uint32_t address = 0; address < 0x80000; address += 2) {
    program += program_bytes({NOP()});
    trace += trace_line(address, NOP(), "NOP");
  }
  const program_result r = test_support::run_program(
      shell(R"({ FAULTY_IO_NONBLOCKING_STDOUT=1 LD_PRELOAD="$FAULTY_IO" "$CPUTEST" "$1"; echo "status $?" >&2; } |
               { sleep 0.3; dd bs=4096 count=16 2>/dev/null; sleep 0.3; cat; })",
            program_file(program)),
      with_faults());
  EXPECT_EQ(r.out.size(), trace.size());
  EXPECT_TRUE(r.out == trace);
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
  const std::string endless = program_file(program_bytes({SLEEP()}));
  enum destination { file, pipe, terminal };
  const struct {
    int signal;
    destination to;
    bool while_loading;  // else while tracing
    bool in_a_write = false;
  } cases[] = {
      {SIGINT, file, false},     {SIGTERM, file, false}, {SIGHUP, file, false},
      {SIGINT, pipe, false},     {SIGTERM, pipe, false}, {SIGHUP, pipe, false},
      {SIGINT, terminal, false},
      // Nothing has been written yet, and the banner is buffered.
      {SIGTERM, file, true},     {SIGHUP, pipe, true},
      // The writer thread's first write sends the signal, then takes 300 ms:
      // the lines traced meanwhile go out after it, not before. (The trace
      // may also be waiting for that write when the signal comes.)
      {SIGINT, file, false, true},  {SIGTERM, file, false, true}, {SIGHUP, file, false, true},
      {SIGINT, pipe, false, true},  {SIGTERM, pipe, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + " to " +
                 (c.to == file ? "a file" : c.to == pipe ? "a pipe" : "a terminal") +
                 (c.while_loading ? ", while loading" : c.in_a_write ? ", in a write" : ", while tracing"));
    const std::string trace = test_support::make_temp_dir() + "/trace";
    // A gigabyte at most, should the signal come late.
    std::string script = R"(ulimit -f 2097152; exec "$CPUTEST" "$1")";
    if (c.while_loading)
      script = R"(export FAULTY_IO_READ_PAUSE="$2.loading" LD_PRELOAD="$FAULTY_IO"; )" + script;
    if (c.in_a_write)
      script = "export FAULTY_IO_WRITE_SIGNAL=" + std::to_string(c.signal) + R"( LD_PRELOAD="$FAULTY_IO"; )" + script;
    if (c.to == file) script += R"( >"$2")";
    auto options = with_faults();
    options.terminal = c.to == terminal;
    test_support::running_program child = test_support::start_program(shell(script, endless, trace), options);
    if (!c.in_a_write) {
      EXPECT_TRUE(c.while_loading ? wait_for_file(trace + ".loading", 0, child.deadline)
                  : c.to == file  ? wait_for_file(trace, 1, child.deadline)
                                  : test_support::wait_for_output(child, sleep_line));
      kill(child.pid, c.signal);
    }
    const program_result r = test_support::finish_program(child);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.term_signal, c.signal);
    EXPECT_EQ(r.err, "");
    const std::string out = c.to == file ? test_support::read_file(trace) : r.out;
    // The trace goes as far as it went, and ends where a line ends.
    std::string expected = c.while_loading ? cputest_banner : cputest_header;
    while (!c.while_loading && expected.size() < out.size()) expected += sleep_line;
    EXPECT_TRUE(out == expected) << out.size() << " bytes, ending \"" << out.substr(out.size() - std::min<std::size_t>(out.size(), 40)) << "\"";
  }
}

// To a regular file the trace is written by a thread of its own, or with one
// CPU by the tracing thread in larger writes; the file offset that standard
// output shares with the shell and other programs still ends where the trace
// ends, and >> still appends.
TEST(cputest_io, a_trace_to_a_file_leaves_the_offset_at_its_end) {
  // About four megabytes of trace lines of varied lengths.
  const std::string program = test_support::make_temp_dir() + "/mixed.sh2";
  ASSERT_EQ(test_support::run_program({MAKE_WORKLOAD_PATH, "mixed", "17", program}).exit_status, 0);
  const std::string trace = run_cputest_file(program).out;
  const struct {
    const char* name;
    std::string script;
    std::string file;
  } cases[] = {
      {"two runs between other writes, one descriptor",
       R"({ echo first; "$CPUTEST" "$1"; "$CPUTEST" "$1"; echo last; } >"$2")",
       "first\n" + trace + trace + "last\n"},
      {"two runs appending", R"(echo first >"$2"; "$CPUTEST" "$1" >>"$2"; "$CPUTEST" "$1" >>"$2")",
       "first\n" + trace + trace},
      // On the first CPU this process may use.
      {"two runs between other writes, one descriptor, one CPU",
       R"(cpu=$(taskset -cp $$ | sed 's/.*: //; s/[,-].*//');
          { echo first; taskset -c "$cpu" "$CPUTEST" "$1"; taskset -c "$cpu" "$CPUTEST" "$1"; echo last; } >"$2")",
       "first\n" + trace + trace + "last\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scratch = test_support::make_temp_dir() + "/trace";
    const program_result r =
        test_support::run_program(shell(c.script, program, scratch), with_faults());
    EXPECT_EQ(r.exit_status, 0);
    const std::string text = test_support::read_file(scratch);
    EXPECT_EQ(text.size(), c.file.size());
    EXPECT_TRUE(text == c.file);
  }
}

TEST(cputest_io, a_read_error_fails_the_load) {
  const std::string program = program_file(std::string(0x20000, '\0'));
  for (const char* fault : {"FAULTY_IO_READ_ERROR_AT=65536", "FAULTY_IO_READ_ERROR_AT=0"}) {
    SCOPED_TRACE(fault);
    const program_result r =
        run_cputest_file(program, with_faults({std::string("LD_PRELOAD=") + FAULTY_IO_PATH, fault}));
    EXPECT_EQ(r.out, cputest_banner + "Cannot read " + program + ": " + std::strerror(EIO) + "!\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_status, 1);
  }
}

}  // namespace
