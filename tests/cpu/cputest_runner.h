// Runs the built cputest binary on a file made of given bytes or words.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "run_program.h"

inline const std::string cputest_banner =
    "SH-2 CPU Test by the ruvo developers\n"
    "This CPU core is part of ruvo. This program was made\n"
    "to demonstrate the progress that I am having with ruvo.\n";

inline const std::string cputest_counts = "55 Implemented opcodes.\n19765/45771 instructions available.\n";

// What every run that loads its file prints before the first trace line.
inline const std::string cputest_header = cputest_banner + cputest_counts;

// Instruction words as the file holds them: little-endian.
inline std::string words(std::initializer_list<std::uint16_t> list) {
  std::string bytes;
  for (std::uint16_t w : list) {
    bytes.push_back(static_cast<char>(w & 0xFF));
    bytes.push_back(static_cast<char>(w >> 8));
  }
  return bytes;
}

inline test_support::program_result run_cputest_file(const std::string& path,
                                                     const test_support::run_options& options = {}) {
  return test_support::run_program({CPUTEST_PATH, path}, options);
}

inline test_support::program_result run_cputest(const std::string& bytes,
                                                const test_support::run_options& options = {}) {
  const std::string path = test_support::make_temp_dir() + "/program.bin";
  test_support::write_file(path, bytes);
  return run_cputest_file(path, options);
}

// The register dump of a state in which only the listed registers changed.
struct dump_values {
  std::uint32_t R[16] = {};
  std::uint32_t PC = 0, PR = 0, SR = 0, MACH = 0, MACL = 0, GBR = 0, VBR = 0;
};

std::string register_dump(std::uint16_t word, const dump_values& v);
