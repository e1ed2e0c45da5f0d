#include "decoder.h"

#include "output.h"

opcode_row decode_lookup(std::uint32_t word) {
  for (const opcode_row& row : opcode_table)
    if ((word & row.mask) == row.match) return row;
  return default_row;
}

void delay_slot(std::uint32_t slot_address) {
  sh2_state.branch_target = sh2_state.PC;
  sh2_state.PC = slot_address;
  sh2_state.delay_countdown = 2;
}

void invalid_opcode() {
  const auto& s = sh2_state;
  const auto& R = s.R;
  out::print<"Invalid opcode (%04X)!\n">(s.instruction_word);
  out::print<"R0: %08X R1: %08X R2: %08X R3: %08X R4: %08X\n">(R[0], R[1], R[2], R[3], R[4]);
  out::print<"R5: %08X R6: %08X R7: %08X R8: %08X R9: %08X\n">(R[5], R[6], R[7], R[8], R[9]);
  out::print<"R10: %08X R11: %08X R12: %08X\nR13: %08X R14: %08X R15: %08X\n">(R[10], R[11], R[12], R[13], R[14],
                                                                              R[15]);
  out::print<"PC: %08X  PR: %08X\n">(s.PC, s.PR);
  out::print<"SR: %08X M: %d Q: %d S: %d T: %d\n">(s.SR, sr_bit(SR_M), sr_bit(SR_Q), sr_bit(SR_S), sr_bit(SR_T));
  out::print<"MACH: %08X\tMACL: %08X\n">(s.MACH, s.MACL);
  out::print<"GBR: %08X\tVBR: %08X\n">(s.GBR, s.VBR);
  sh2_state.halt_flag = 1;
}
