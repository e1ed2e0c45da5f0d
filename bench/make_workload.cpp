// Writes the benchmark workloads: SH-2 programs made only of implemented
// instructions, which start from all-zero registers and end cleanly when PC
// reaches the end of the file.
//
//   make_workload NAME SCALE OUTPUT
//
// NAME is loop, straight, mixed, branchy or mac; SCALE sets the amount of work as a
// power of two (the full-size workloads use the default scales below), so the
// tests can run the same programs small.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

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

// A small generator of its own, so that the same seed gives the same program
// with every compiler and library.
struct random_words {
  std::uint64_t state;
  // splitmix64
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  // 0 to bound - 1
  unsigned below(unsigned bound) { return static_cast<unsigned>(next() % bound); }
};

// Registers with a fixed job in the random programs; the random instructions
// read them but never write them. R0 is written only in ways that keep it
// below 256, so that every store lands in the data area.
constexpr unsigned loop_counter = 10;  // 0 outside the loops, which end with it at 0
constexpr unsigned skip_one = 11;      // 6: BRAF and BSRF pass over one word
constexpr unsigned skip_none = 12;     // 4: BRAF and BSRF go straight past their slot
constexpr unsigned data_low = 14;      // 0xFFFE00: the stores' base addresses, at the top of
constexpr unsigned data_high = 15;     // 0xFFFF00: memory and far from any program
// The code must end below the data area.
constexpr unsigned max_random_scale = 22;

// The prologue that gives the fixed registers their values, from all zero.
std::vector<word> random_prologue() {
  std::vector<word> p;
  p.push_back(ADD_imm(6, skip_one));
  p.push_back(ADD_imm(4, skip_none));
  power_of_two(p, data_high, 24);  // 0x1000000
  p.push_back(ADD_imm(-128, 13));  // R13 = -256
  p.push_back(ADD_imm(-128, 13));
  p.push_back(ADD(13, data_high));  // 0xFFFF00
  p.push_back(ADD(data_high, data_low));
  p.push_back(ADD(13, data_low));  // 0xFFFE00
  p.push_back(LDC_GBR(data_high));
  return p;
}

unsigned any_register(random_words& r) { return r.below(16); }
// A register that the random instructions may change.
unsigned free_register(random_words& r) {
  constexpr unsigned free[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 13};
  return free[r.below(std::size(free))];
}

// One ordinary instruction of a plausible mix: arithmetic, logic, compares,
// extensions, multiplies, division steps, flag and system register loads, and
// byte stores into the data area.
word random_ordinary(random_words& r) {
  const unsigned m = any_register(r), n = free_register(r), imm = r.below(256);
  const unsigned base = r.below(2) == 0 ? data_low : data_high;
  const word load =
      std::array{LDS_MACH(m), LDS_MACL(m), LDS_PR(m), LDC_SR(m), LDC_VBR(m)}[r.below(5)];
  const auto i = static_cast<int>(imm);
  // Repeats weigh the choice.
  const word mix[] = {
      ADD(m, n),     ADD(m, n),      ADD(m, n),     ADD(m, n),     ADD_imm(i, n), ADD_imm(i, n),
      ADD_imm(i, n), ADDC(m, n),     ADDV(m, n),    DT(n),         AND(m, n),     AND(m, n),
      AND_imm(imm),  CMP_EQ(m, n),   CMP_GE(m, n),  CMP_GT(m, n),  CMP_HI(m, n),  CMP_HS(m, n),
      CMP_PL(m),     CMP_PZ(m),      CMP_STR(m, n), CMP_EQ_imm(i), EXTS_B(m, n),  EXTS_W(m, n),
      EXTU_B(m, n),  EXTU_B(m, 0),   EXTU_W(m, n),  DMULS(m, n),   DMULU(m, n),   DIV0S(m, n),
      DIV0U(),       DIV1(m, n),     DIV1(m, n),    CLRT(),        CLRMAC(),      NOP(),
      load,          LDC_GBR(data_high), MOV_B_R0(m, base), MOV_B_R0(m, base), AND_B(imm)};
  return mix[r.below(std::size(mix))];
}

std::vector<word> random_program(unsigned scale) {
  if (scale > max_random_scale) {
    std::fprintf(stderr, "the random workloads go up to scale %u\n", max_random_scale);
    std::exit(2);
  }
  return random_prologue();
}

// 2^scale instructions drawn at random from an ordinary mix, no branches: a
// program whose dispatch and texts no predictor can learn. The prologue is
// part of the count.
std::vector<word> straight(unsigned scale) {
  random_words r{0x5EED0001};
  std::vector<word> p = random_program(scale);
  const std::size_t count = std::size_t{1} << scale;
  while (p.size() < count) p.push_back(random_ordinary(r));
  p.resize(count);
  return p;
}

// The ordinary mix with control flow: forward delayed branches of the four
// unconditional kinds with their slots, forward conditional branches with and
// without a slot, whose outcome depends on the random T bit, and short DT
// loops. Every branch goes forward or closes a loop, so the program runs to
// the end of its 2^scale words.
std::vector<word> mixed(unsigned scale) {
  random_words r{0x5EED0002};
  std::vector<word> p = random_program(scale);
  const std::size_t count = std::size_t{1} << scale;
  const auto fill = [&](unsigned words) {
    for (unsigned i = 0; i < words; ++i) p.push_back(random_ordinary(r));
  };
  // Each construct takes fewer than 16 words; the rest is filled with ordinary ones.
  while (p.size() + 16 < count) {
    const unsigned choice = r.below(40);
    if (choice < 28) {
      fill(1);
    } else if (choice < 32) {  // BRA or BSR over 0 to 3 words
      const unsigned skip = r.below(4);
      p.push_back(r.below(2) == 0 ? BRA(static_cast<int>(skip)) : BSR(static_cast<int>(skip)));
      fill(1 + skip);
    } else if (choice < 34) {  // BRAF or BSRF over 0 or 1 word
      const unsigned skip = r.below(2);
      const unsigned reg = skip == 0 ? skip_none : skip_one;
      p.push_back(r.below(2) == 0 ? BRAF(reg) : BSRF(reg));
      fill(1 + skip);
    } else if (choice < 37) {  // BT or BF over 0 to 3 words
      const unsigned skip = r.below(4);
      const int d = static_cast<int>(skip) - 1;
      p.push_back(r.below(2) == 0 ? BT(d) : BF(d));
      fill(skip);
    } else if (choice < 39) {  // BT/S or BF/S over 0 to 3 words: the slot runs either way
      const unsigned skip = r.below(4);
      p.push_back(r.below(2) == 0 ? BT_S(static_cast<int>(skip)) : BF_S(static_cast<int>(skip)));
      fill(1 + skip);
    } else {  // a loop of 1 to 8 rounds over 1 to 6 instructions, closed by BF or BF/S
      const unsigned rounds = 1 + r.below(8), body = 1 + r.below(6);
      const bool slot = r.below(2) == 0;
      p.push_back(ADD_imm(static_cast<int>(rounds), loop_counter));
      fill(body);
      p.push_back(DT(loop_counter));
      const int back = -static_cast<int>(body) - 3;
      if (slot) {
        p.push_back(BF_S(back));
        fill(1);
      } else {
        p.push_back(BF(back));
      }
    }
  }
  while (p.size() < count) p.push_back(random_ordinary(r));
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
    std::fprintf(stderr, "usage: %s loop|straight|mixed|branchy|mac SCALE OUTPUT\n", argv[0]);
    return 2;
  }
  const unsigned scale = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  const std::string name = argv[1];
  std::vector<word> program;
  if (name == "loop")
    program = loop(scale);
  else if (name == "straight")
    program = straight(scale);
  else if (name == "mixed")
    program = mixed(scale);
  else if (name == "branchy")
    program = branchy(scale);
  else if (name == "mac")
    program = mac(scale);
  else {
    std::fprintf(stderr, "unknown workload %s\n", argv[1]);
    return 2;
  }
  return write_program(argv[3], program) ? 0 : 1;
}
