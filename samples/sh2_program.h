// SH-2 programs as lists of instruction words, encoded by the instructions of
// instruction_set.h (ADD(2, 3) is ADD R2,R3), and the bytes that a file or
// the memory holds of them. Used by the sample and workload generators, the
// benchmarks and the tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "instruction_set.h"

namespace sh2_asm {

using namespace isa;
using word = std::uint16_t;

// The words little-endian, as the memory holds them.
inline std::string program_bytes(const std::vector<word>& program) {
  std::string bytes;
  for (word w : program) {
    bytes.push_back(static_cast<char>(w & 0xFF));
    bytes.push_back(static_cast<char>(w >> 8));
  }
  return bytes;
}

// Returns false if the file cannot be written.
inline bool write_program(const std::string& path, const std::vector<word>& program) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::string bytes = program_bytes(program);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace sh2_asm
