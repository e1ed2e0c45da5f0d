// Writes the bundled cputest sample: a short program that counts down a loop,
// calls a subroutine through a delayed branch and accumulates products, and
// ends cleanly when PC reaches the end of the file.
#include <cstdio>

#include "sh2_program.h"

using namespace sh2_asm;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  const std::vector<word> program = {
      ADD_imm(3, 1),   // 0x00 R1 = 3: loop counter
      ADD_imm(10, 2),  // 0x02 R2 = 10
      ADD(2, 3),       // 0x04 loop: R3 += R2
      DT(1),           // 0x06 R1 -= 1, T = (R1 == 0)
      BF(-4),          // 0x08 back to 0x04 while T = 0
      BSR(2),          // 0x0A PR = 0x0A, call 0x12 after the slot
      ADD_imm(-1, 4),  // 0x0C delay slot: R4 = -1
      NOP(),           // 0x0E skipped
      NOP(),           // 0x10 skipped
      DMULS(4, 3),     // 0x12 MACH:MACL = R3 x R4 = -30
      CMP_PZ(3),       // 0x14 T = R3 >= 0
      BT_S(0),         // 0x16 taken: slot, then 0x1A
      EXTS_B(4, 5),    // 0x18 delay slot: R5 = -1
      NOP(),           // 0x1A the end of the file follows
  };
  return write_program(argv[1], program) ? 0 : 1;
}
