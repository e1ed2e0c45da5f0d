// Runs the built cputest binary on a file of given bytes, and the texts it
// prints.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run_program.h"
#include "sh2_program.h"

inline const std::string cputest_banner =
    "SH-2 CPU Test by the ruvo developers\n"
    "This CPU core is part of ruvo. This program was made\n"
    "to demonstrate the progress that I am having with ruvo.\n";

inline const std::string cputest_counts = "55 Implemented opcodes.\n19765/45771 instructions available.\n";

// What every run that loads its file prints before the first trace line.
inline const std::string cputest_header = cputest_banner + cputest_counts;

// A file of the bytes, in a directory of its own.
inline std::string program_file(const std::string& bytes) {
  const std::string path = test_support::make_temp_dir() + "/program.bin";
  test_support::write_file(path, bytes);
  return path;
}

inline test_support::program_result run_cputest_file(const std::string& path,
                                                     const test_support::run_options& options = {}) {
  return test_support::run_program({CPUTEST_PATH, path}, options);
}

inline test_support::program_result run_cputest(const std::string& bytes,
                                                const test_support::run_options& options = {}) {
  return run_cputest_file(program_file(bytes), options);
}

// A run of the bytes prints the header and the trace, and ends with status 0.
inline void expect_trace(const std::string& bytes, const std::string& trace) {
  const auto r = run_cputest(bytes);
  EXPECT_EQ(r.out, cputest_header + trace);
  EXPECT_EQ(r.exit_status, 0);
}

// A trace line: the address, the word there and its handler's text.
std::string trace_line(std::uint32_t address, std::uint16_t word, std::string_view text);

// The line of a SLEEP at address 0, which repeats until the run is stopped.
inline const std::string sleep_line = "00000000 001B: SLEEP\n";

// Code from address 0, each word with the text of its trace line.
struct listed {
  std::uint16_t word;
  std::string text;
};
using listing = std::vector<listed>;

// The file of the listing's words, and its trace when it runs straight through.
std::string listing_bytes(const listing& code);
std::string listing_trace(const listing& code);

// The register dump of a state in which only the listed registers changed.
struct dump_values {
  std::uint32_t R[16] = {};
  std::uint32_t PC = 0, PR = 0, SR = 0, MACH = 0, MACL = 0, GBR = 0, VBR = 0;
};

// The last line of a run that halts at the unimplemented word at v.PC.
std::string halt_line(std::uint16_t word, const dump_values& v);
