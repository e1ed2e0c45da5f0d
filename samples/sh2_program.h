// A tiny assembler for the implemented SH-2 instructions: each function
// returns the instruction word, and a program is a list of words written
// out little-endian. Used by the sample and workload generators.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sh2_asm {

using word = std::uint16_t;

constexpr word nm(unsigned top, unsigned n, unsigned m, unsigned low) {
  return static_cast<word>(top << 12 | (n & 0xF) << 8 | (m & 0xF) << 4 | (low & 0xF));
}
constexpr word n8(unsigned top, unsigned n, unsigned low8) {
  return static_cast<word>(top << 12 | (n & 0xF) << 8 | (low8 & 0xFF));
}
constexpr word d8(unsigned top8, int d) { return static_cast<word>(top8 << 8 | (static_cast<unsigned>(d) & 0xFF)); }
constexpr word d12(unsigned top, int d) { return static_cast<word>(top << 12 | (static_cast<unsigned>(d) & 0xFFF)); }

constexpr word NOP() { return 0x0009; }
constexpr word SLEEP() { return 0x001B; }
constexpr word CLRT() { return 0x0008; }
constexpr word CLRMAC() { return 0x0028; }
constexpr word DIV0U() { return 0x0019; }
constexpr word ADD(unsigned m, unsigned n) { return nm(3, n, m, 0xC); }
constexpr word ADD_imm(int i, unsigned n) { return n8(7, n, static_cast<unsigned>(i)); }
constexpr word ADDC(unsigned m, unsigned n) { return nm(3, n, m, 0xE); }
constexpr word ADDV(unsigned m, unsigned n) { return nm(3, n, m, 0xF); }
constexpr word AND(unsigned m, unsigned n) { return nm(2, n, m, 0x9); }
constexpr word AND_imm(unsigned i) { return d8(0xC9, static_cast<int>(i)); }
constexpr word AND_B(unsigned i) { return d8(0xCD, static_cast<int>(i)); }
constexpr word CMP_EQ(unsigned m, unsigned n) { return nm(3, n, m, 0x0); }
constexpr word CMP_HS(unsigned m, unsigned n) { return nm(3, n, m, 0x2); }
constexpr word CMP_GE(unsigned m, unsigned n) { return nm(3, n, m, 0x3); }
constexpr word CMP_HI(unsigned m, unsigned n) { return nm(3, n, m, 0x6); }
constexpr word CMP_GT(unsigned m, unsigned n) { return nm(3, n, m, 0x7); }
constexpr word CMP_PL(unsigned n) { return nm(4, n, 1, 0x5); }
constexpr word CMP_PZ(unsigned n) { return nm(4, n, 1, 0x1); }
constexpr word CMP_STR(unsigned m, unsigned n) { return nm(2, n, m, 0xC); }
constexpr word CMP_EQ_imm(int i) { return d8(0x88, i); }
constexpr word DIV0S(unsigned m, unsigned n) { return nm(2, n, m, 0x7); }
constexpr word DIV1(unsigned m, unsigned n) { return nm(3, n, m, 0x4); }
constexpr word DMULS(unsigned m, unsigned n) { return nm(3, n, m, 0xD); }
constexpr word DMULU(unsigned m, unsigned n) { return nm(3, n, m, 0x5); }
constexpr word DT(unsigned n) { return nm(4, n, 1, 0x0); }
constexpr word EXTS_B(unsigned m, unsigned n) { return nm(6, n, m, 0xE); }
constexpr word EXTS_W(unsigned m, unsigned n) { return nm(6, n, m, 0xF); }
constexpr word EXTU_B(unsigned m, unsigned n) { return nm(6, n, m, 0xC); }
constexpr word EXTU_W(unsigned m, unsigned n) { return nm(6, n, m, 0xD); }
constexpr word MOV_B_R0(unsigned m, unsigned n) { return nm(0, n, m, 0x4); }
constexpr word BF(int d) { return d8(0x8B, d); }
constexpr word BF_S(int d) { return d8(0x8F, d); }
constexpr word BT(int d) { return d8(0x89, d); }
constexpr word BT_S(int d) { return d8(0x8D, d); }
constexpr word BRA(int d) { return d12(0xA, d); }
constexpr word BSR(int d) { return d12(0xB, d); }
constexpr word BRAF(unsigned m) { return nm(0, m, 2, 0x3); }
constexpr word BSRF(unsigned m) { return nm(0, m, 0, 0x3); }
constexpr word JMP(unsigned m) { return nm(4, m, 2, 0xB); }
constexpr word JSR(unsigned m) { return nm(4, m, 0, 0xB); }
constexpr word LDC_SR(unsigned m) { return nm(4, m, 0, 0xE); }
constexpr word LDC_GBR(unsigned m) { return nm(4, m, 1, 0xE); }
constexpr word LDC_VBR(unsigned m) { return nm(4, m, 2, 0xE); }
constexpr word LDC_L_SR(unsigned m) { return nm(4, m, 0, 0x7); }
constexpr word LDC_L_GBR(unsigned m) { return nm(4, m, 1, 0x7); }
constexpr word LDC_L_VBR(unsigned m) { return nm(4, m, 2, 0x7); }
constexpr word LDS_MACH(unsigned m) { return nm(4, m, 0, 0xA); }
constexpr word LDS_MACL(unsigned m) { return nm(4, m, 1, 0xA); }
constexpr word LDS_PR(unsigned m) { return nm(4, m, 2, 0xA); }
constexpr word LDS_L_MACH(unsigned m) { return nm(4, m, 0, 0x6); }
constexpr word LDS_L_MACL(unsigned m) { return nm(4, m, 1, 0x6); }
constexpr word LDS_L_PR(unsigned m) { return nm(4, m, 2, 0x6); }
constexpr word MAC_L(unsigned m, unsigned n) { return nm(0, n, m, 0xF); }
constexpr word MAC_W(unsigned m, unsigned n) { return nm(4, n, m, 0xF); }

// Writes the words little-endian; returns false if the file cannot be written.
inline bool write_program(const std::string& path, const std::vector<word>& program) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  for (word w : program) {
    std::fputc(w & 0xFF, file);
    std::fputc(w >> 8, file);
  }
  return std::fclose(file) == 0;
}

}  // namespace sh2_asm
