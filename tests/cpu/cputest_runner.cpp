#include "cputest_runner.h"

#include <cstdio>

namespace {

std::string trace_prefix(std::uint32_t address, std::uint16_t word) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X %04X: ", address, word);
  return text;
}

}  // namespace

std::string trace_line(std::uint32_t address, std::uint16_t word, std::string_view text) {
  return trace_prefix(address, word).append(text) + "\n";
}

std::string listing_bytes(const listing& code) {
  std::vector<sh2_asm::word> words;
  for (const auto& l : code) words.push_back(l.word);
  return sh2_asm::program_bytes(words);
}

std::string listing_trace(const listing& code) {
  std::string trace;
  for (std::uint32_t i = 0; i < code.size(); ++i) trace += trace_line(2 * i, code[i].word, code[i].text);
  return trace;
}

std::string halt_line(std::uint16_t word, const dump_values& v) {
  char text[1024];
  const auto bit = [&](int n) { return static_cast<int>((v.SR >> n) & 1); };
  std::snprintf(text, sizeof text,
                "Invalid opcode (%04X)!\n"
                "R0: %08X R1: %08X R2: %08X R3: %08X R4: %08X\n"
                "R5: %08X R6: %08X R7: %08X R8: %08X R9: %08X\n"
                "R10: %08X R11: %08X R12: %08X\nR13: %08X R14: %08X R15: %08X\n"
                "PC: %08X  PR: %08X\n"
                "SR: %08X M: %d Q: %d S: %d T: %d\n"
                "MACH: %08X\tMACL: %08X\n"
                "GBR: %08X\tVBR: %08X\n",
                word, v.R[0], v.R[1], v.R[2], v.R[3], v.R[4], v.R[5], v.R[6], v.R[7], v.R[8], v.R[9], v.R[10],
                v.R[11], v.R[12], v.R[13], v.R[14], v.R[15], v.PC, v.PR, v.SR, bit(9), bit(8), bit(1), bit(0),
                v.MACH, v.MACL, v.GBR, v.VBR);
  return trace_prefix(v.PC, word) + text;
}
