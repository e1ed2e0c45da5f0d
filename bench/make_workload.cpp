// Writes the benchmark workloads: SH-2 programs made only of implemented
// instructions, which start from all-zero registers and end cleanly when PC
// reaches the end of the file.
//
//   make_workload NAME SCALE OUTPUT
//
// NAME is loop, straight, branchy or mac; SCALE sets the amount of work as a
// power of two (the full-size workloads use the default scales below), so the
// tests can run the same programs small.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sh2_program.h"

using namespace sh2_asm;

namespace {

// Rn = 2^power, from Rn = 0.
void power_of_two(std::vector<word>& p, unsigned n, unsigned power) {
  p.push_back(ADD_imm(1, n));
  for (unsigned i = 0; i < power; ++i) p.push_back(ADD(n, n));
}

// A DT/BF loop of 2^scale iterations: two trace lines each.
std::vector<word> loop(unsigned scale) {
  std::vector<word> p;
  power_of_two(p, 1, scale);
  p.push_back(DT(1));
  p.push_back(BF(-3));
  return p;
}

// 2^scale ordinary instructions in a row, no branches. Nothing stores to
// memory, so the code cannot change under its own feet.
std::vector<word> straight(unsigned scale) {
  constexpr word body[] = {
      ADD_imm(0x35, 1), ADD(1, 2),    ADDC(2, 3),   ADDV(3, 4),    AND(1, 5),     AND_imm(0xF0),
      CMP_EQ(1, 2),     CMP_GE(2, 3), CMP_GT(3, 4), CMP_HI(4, 5),  CMP_HS(5, 6),  CMP_PL(7),
      CMP_PZ(8),        CMP_STR(1, 9), CMP_EQ_imm(-1), DT(10),     EXTS_B(2, 11), EXTS_W(3, 12),
      EXTU_B(4, 13),    EXTU_W(5, 14), CLRT(),      NOP(),         ADD(6, 7),     CLRMAC(),
      ADD_imm(-3, 6),   DIV0S(2, 3),  DMULS(1, 2),  DMULU(3, 4),   DIV0U(),       DIV1(1, 2),
      ADD(2, 15),       LDS_MACL(1),
  };
  constexpr std::size_t body_size = sizeof body / sizeof body[0];
  std::vector<word> p;
  const std::size_t count = std::size_t{1} << scale;
  for (std::size_t i = 0; i < count; ++i) p.push_back(body[i % body_size]);
  return p;
}

// Delayed branches of every kind with their slots, and conditional branches
// not taken, in a DT/BF/S loop of 2^scale iterations: fifteen trace lines each.
std::vector<word> branchy(unsigned scale) {
  std::vector<word> p;
  power_of_two(p, 1, scale);
  p.push_back(ADD_imm(4, 9));  // R9 = 4: BRAF and BSRF skip one word
  // The loop starts after the next word; JMP goes to R8 + 4 = its 16th byte.
  const auto start = static_cast<int>(p.size() * 2 + 2);
  p.push_back(ADD_imm(start + 12, 8));
  p.push_back(BRA(0));          // +0  to +4
  p.push_back(ADD_imm(1, 2));   // +2  slot
  p.push_back(BSR(0));          // +4  to +8
  p.push_back(ADD(2, 3));       // +6  slot
  p.push_back(BRAF(9));         // +8  to +12
  p.push_back(ADD_imm(-1, 4));  // +10 slot
  p.push_back(JMP(8));          // +12 to +16
  p.push_back(NOP());           // +14 slot
  p.push_back(BT_S(5));         // +16 T = 0 here: not taken
  p.push_back(BT(5));           // +18 not taken
  p.push_back(BSRF(9));         // +20 to +24
  p.push_back(ADD(3, 5));       // +22 slot
  p.push_back(DT(1));           // +24
  p.push_back(BF_S(-15));       // +26 back to +0
  p.push_back(NOP());           // +28 slot, and the last word
  return p;
}

// MAC.W and MAC.L over a data area, with system register loads from it and
// both saturation modes, in a DT/BF loop of 2^scale iterations: sixteen trace
// lines each. The data sits right after a branch over it, so the program
// still ends at the end of the file.
std::vector<word> mac(unsigned scale) {
  constexpr int data_words = 64;
  std::vector<word> p;
  p.push_back(BRA(data_words));  // to 4 + 2 * 64, past the data
  p.push_back(NOP());
  for (int i = 0; i < data_words; ++i) p.push_back(static_cast<word>(0x8001 + 0x1357 * i));
  p.push_back(ADD_imm(4, 0));  // R0 = 4: the data
  p.push_back(ADD_imm(2, 7));  // R7 = 2: SR with S set
  power_of_two(p, 1, scale);
  const auto top = static_cast<int>(p.size());
  p.push_back(EXTU_W(0, 4));  // R4 = R5 = the data
  p.push_back(EXTU_W(0, 5));
  p.push_back(MAC_W(4, 5));
  p.push_back(MAC_W(5, 4));
  p.push_back(MAC_L(4, 5));
  p.push_back(LDS_MACH(2));
  p.push_back(LDC_SR(7));  // saturating from here
  p.push_back(MAC_L(5, 4));
  p.push_back(MAC_W(4, 4));
  p.push_back(LDS_L_PR(4));
  p.push_back(LDC_L_GBR(5));
  p.push_back(LDS_MACL(3));
  p.push_back(LDC_SR(6));  // R6 = 0: S clear again
  p.push_back(LDC_GBR(2));
  p.push_back(DT(1));
  const auto here = static_cast<int>(p.size());
  p.push_back(BF(top - here - 2));
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s loop|straight|branchy|mac SCALE OUTPUT\n", argv[0]);
    return 2;
  }
  const unsigned scale = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  const std::string name = argv[1];
  std::vector<word> program;
  if (name == "loop") program = loop(scale);
  else if (name == "straight") program = straight(scale);
  else if (name == "branchy") program = branchy(scale);
  else if (name == "mac") program = mac(scale);
  else {
    std::fprintf(stderr, "unknown workload %s\n", argv[1]);
    return 2;
  }
  return write_program(argv[3], program) ? 0 : 1;
}
