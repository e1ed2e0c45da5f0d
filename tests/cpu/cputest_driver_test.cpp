// The cputest driver through the real binary: arguments, loading and the
// ends of a run, compared byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cputest_runner.h"

namespace {

using namespace sh2_asm;
using test_support::make_temp_dir;
using test_support::write_file;

TEST(cputest_driver, traces_a_file_until_pc_reaches_its_size) {
  const struct {
    const char* name;
    std::string bytes;
    std::string trace;
  } cases[] = {
      {"empty file", "", ""},
      {"one NOP", program_bytes({NOP()}), "00000000 0009: NOP\n"},
      {"big-endian NOP is no instruction", std::string("\x00\x09", 2),
       halt_line(0x0900, {})},
      {"delayed branch over a word", program_bytes({NOP(), BRA(1), CLRT(), 0x0000, NOP()}),
       "00000000 0009: NOP\n00000002 A001: BRA $1 (1)\n00000004 0008: CLRT\n00000008 0009: NOP\n"},
      // The last byte pairs with a zero byte of memory; then the run goes on into
      // zeros and halts.
      {"odd size", std::string("\x09\x00\x09", 3),
       "00000000 0009: NOP\n00000002 0009: NOP\n" + halt_line(0x0000, {.PC = 4})},
      {"delayed branch as the last word never reaches its slot", program_bytes({BRA(1)}),
       "00000000 A001: BRA $1 (1)\n"},
      {"branch to exactly the size ends the run", program_bytes({BRA(0), NOP()}),
       "00000000 A000: BRA $0 (0)\n00000002 0009: NOP\n"},
      {"branch past the size runs into zeros", program_bytes({BRA(1), NOP()}),
       "00000000 A001: BRA $1 (1)\n00000002 0009: NOP\n" + halt_line(0x0000, {.PC = 6})},
      // MOV.B turns the NOP that follows it into CLRT after the trace loop has
      // already fetched the word ahead.
      {"a store into the next word runs what it stored",
       program_bytes({ADD_imm(6, 1), ADD_imm(8, 2), MOV_B_R0(2, 1), NOP()}),
       "00000000 7106: ADD $6, R1\n00000002 7208: ADD $8, R2\n00000004 0124: MOV.B R2, @(R0, R1)\n"
       "00000006 0008: CLRT\n"},
      // R1 = 2^21, then JMP to R1 + 4: the file's last word, past 2 MiB.
      {"a file past 2 MiB is loaded to its last byte",
       [] {
         std::string bytes = program_bytes({ADD_imm(1, 1)});
         for (int i = 0; i < 21; ++i) bytes += program_bytes({ADD(1, 1)});
         bytes += program_bytes({JMP(1), NOP()});
         bytes.resize(0x200004, '\0');
         return bytes + program_bytes({NOP()});
       }(),
       [] {
         std::string trace = "00000000 7101: ADD $1, R1\n";
         for (std::uint32_t i = 0; i < 21; ++i) trace += trace_line(2 + 2 * i, ADD(1, 1), "ADD R1, R1");
         return trace + "0000002C 412B: JMP @R1\n0000002E 0009: NOP\n00200004 0009: NOP\n";
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run_cputest(c.bytes);
    EXPECT_EQ(r.out, cputest_header + c.trace);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_status, 0);
  }
}

TEST(cputest_driver, wrong_argument_count_prints_the_usage) {
  for (const auto& args : {std::vector<std::string>{CPUTEST_PATH},
                           std::vector<std::string>{CPUTEST_PATH, "a", "b"}}) {
    const auto r = test_support::run_program(args);
    EXPECT_EQ(r.out, cputest_banner + "\nUsage: " CPUTEST_PATH
                                      " [rom file]\n"
                                      "[rom file] can be any kind of file. This program will\n"
                                      "try to execute it in the sh2 cpu.\n");
    EXPECT_EQ(r.exit_status, 1);
  }
}

// Whatever the path names, the run ends with a clear message or a trace, and
// a defined status; nothing hangs.
TEST(cputest_driver, bad_inputs) {
  const std::string dir = make_temp_dir();
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string too_big = dir + "/too big";
  write_file(too_big, std::string(0x1000001, '\0'));

  const struct {
    std::string path;
    std::string after_banner;
    int status;
  } cases[] = {
      {dir + "/missing", "Cannot open " + dir + "/missing!\n", 1},
      {dir + "/missing%s%n", "Cannot open " + dir + "/missing%s%n!\n", 1},
      {dir, "Cannot determine the size of " + dir + "!\n", 1},
      {fifo, "Cannot determine the size of " + fifo + "!\n", 1},
      {too_big, too_big + " does not fit in the 16 MiB memory!\n", 1},
      // Character devices measure 0 bytes: nothing to trace.
      {"/dev/zero", cputest_counts, 0},
      {"/dev/null", cputest_counts, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto r = run_cputest_file(c.path);
    EXPECT_EQ(r.out, cputest_banner + c.after_banner);
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_FALSE(r.timed_out);
  }
}

TEST(cputest_driver, a_file_that_fills_memory_exactly_is_loaded) {
  std::string bytes(0x1000000, '\0');
  bytes[0] = 0x09;  // NOP, then the zero word halts
  bytes[0xFFFFFF] = 0x5A;
  expect_trace(bytes, "00000000 0009: NOP\n" + halt_line(0x0000, {.PC = 2}));
}

TEST(cputest_driver, sleep_repeats_until_interrupted) {
  test_support::run_options options;
  options.max_output = cputest_header.size() + 3 * 22;
  const auto r = run_cputest(program_bytes({SLEEP()}), options);
  EXPECT_EQ(r.out.substr(0, cputest_header.size() + 3 * sleep_line.size()),
            cputest_header + sleep_line + sleep_line + sleep_line);
}

}  // namespace
