// The benchmark workloads and the bundled sample, small: each workload traces
// exactly the lines it is built for and ends cleanly at its last word, every
// run prints exactly what printf would print for the same formats, and stays
// byte for byte what it was when the digests below were recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "cputest_runner.h"

namespace {

std::uint64_t fnv1a(const std::string& bytes) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001B3u;
  return hash;
}

TEST(workloads, trace_their_designed_line_counts_and_keep_their_output) {
  const struct {
    const char* name;
    unsigned scale;
    std::function<std::size_t(std::size_t)> lines;  // of the scale; empty where chance decides
    std::uint64_t digest;
  } cases[] = {
      // counter set-up, then DT and BF per iteration
      {"loop", 10, [](std::size_t s) { return (1 + s) + 2 * (std::size_t{1} << s); }, 0xa2d38ce4efae2e41},
      {"straight", 12, [](std::size_t s) { return std::size_t{1} << s; }, 0xd8570816330364ef},
      {"mixed", 12, nullptr, 0xdbf65b4ed953821f},
      // counter and two registers set up, fifteen lines per iteration
      {"branchy", 8, [](std::size_t s) { return (1 + s) + 2 + 15 * (std::size_t{1} << s); }, 0x6131ca93216d9e0f},
      // branch over the data and its slot, two registers, counter, sixteen per iteration
      {"mac", 8, [](std::size_t s) { return 4 + (1 + s) + 16 * (std::size_t{1} << s); }, 0x3df6a640cf5c0674},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = test_support::make_temp_dir() + "/workload.sh2";
    const auto made = test_support::run_program({MAKE_WORKLOAD_PATH, c.name, std::to_string(c.scale), path});
    ASSERT_EQ(made.exit_status, 0);
    const auto r = run_cputest_file(path);
    ASSERT_EQ(r.exit_status, 0);
    ASSERT_EQ(r.out.compare(0, cputest_header.size(), cputest_header), 0);
    const std::string trace = r.out.substr(cputest_header.size());
    if (c.lines) {
      EXPECT_EQ(static_cast<std::size_t>(std::count(trace.begin(), trace.end(), '\n')), c.lines(c.scale));
    }
    EXPECT_EQ(trace.find("Invalid opcode"), std::string::npos);
    // Every workload is 2^scale words or fewer and ends on its last word.
    const std::size_t last_line = trace.rfind('\n', trace.size() - 2) + 1;
    const auto last_address = std::stoul(trace.substr(last_line, 8), nullptr, 16);
    EXPECT_EQ(std::filesystem::file_size(path), last_address + 2u);
    EXPECT_EQ(fnv1a(r.out), c.digest) << std::hex << "0x" << fnv1a(r.out);
    EXPECT_TRUE(r.out == test_support::run_program({CPUTEST_PRINTF_PATH, path}).out)
        << "differs from the printf rendering";
  }
}

TEST(workloads, bundled_sample_keeps_its_output) {
  const auto r = run_cputest_file(SH2_SAMPLE_PATH);
  ASSERT_EQ(r.exit_status, 0);
  EXPECT_EQ(fnv1a(r.out), 0x52f1e04be6d68e94u) << std::hex << "0x" << fnv1a(r.out);
  EXPECT_TRUE(r.out == test_support::run_program({CPUTEST_PRINTF_PATH, SH2_SAMPLE_PATH}).out)
      << "differs from the printf rendering";
}

}  // namespace
