// Loads of the control registers (SR, GBR, VBR) and the system registers
// (MACH, MACL, PR), from a register or from memory with post-increment.
// SR keeps only its writable bits.
//
// The LDS.L texts show the address register without "+", although all six
// memory forms increment it alike.
#include "handlers.h"
#include "output.h"

namespace {

// The long at Rm; Rm then advances by 4.
std::uint32_t pop_long(unsigned m) {
  const std::uint32_t value = mem_read_long(R[m]);
  R[m] += 4;
  return value;
}

}  // namespace

void op_ldc_sr() {  // SR = Rm & 0x3F3
  sh2_state.SR = R[field_n()] & SR_WRITABLE;
  next_instruction();
  out::print<"LDC R%d, SR\n">(field_n());
}

void op_ldc_gbr() {  // GBR = Rm
  sh2_state.GBR = R[field_n()];
  next_instruction();
  out::print<"LDC R%d, GBR\n">(field_n());
}

void op_ldc_vbr() {  // VBR = Rm
  sh2_state.VBR = R[field_n()];
  next_instruction();
  out::print<"LDC R%d, VBR\n">(field_n());
}

void op_ldc_l_sr() {  // SR = long at Rm & 0x3F3, Rm += 4
  sh2_state.SR = pop_long(field_n()) & SR_WRITABLE;
  next_instruction();
  out::print<"LDC.L @R%d+, SR\n">(field_n());
}

void op_ldc_l_gbr() {  // GBR = long at Rm, Rm += 4
  sh2_state.GBR = pop_long(field_n());
  next_instruction();
  out::print<"LDC.L @R%d+, GBR\n">(field_n());
}

void op_ldc_l_vbr() {  // VBR = long at Rm, Rm += 4
  sh2_state.VBR = pop_long(field_n());
  next_instruction();
  out::print<"LDC.L @R%d+, VBR\n">(field_n());
}

void op_lds_mach() {  // MACH = Rm
  sh2_state.MACH = R[field_n()];
  next_instruction();
  out::print<"LDS R%d, MACH\n">(field_n());
}

void op_lds_macl() {  // MACL = Rm
  sh2_state.MACL = R[field_n()];
  next_instruction();
  out::print<"LDS R%d, MACL\n">(field_n());
}

void op_lds_pr() {  // PR = Rm
  sh2_state.PR = R[field_n()];
  next_instruction();
  out::print<"LDS R%d, PR\n">(field_n());
}

void op_lds_l_mach() {  // MACH = long at Rm, Rm += 4
  sh2_state.MACH = pop_long(field_n());
  next_instruction();
  out::print<"LDS.L @R%d, MACH\n">(field_n());
}

void op_lds_l_macl() {  // MACL = long at Rm, Rm += 4
  sh2_state.MACL = pop_long(field_n());
  next_instruction();
  out::print<"LDS.L @R%d, MACL\n">(field_n());
}

void op_lds_l_pr() {  // PR = long at Rm, Rm += 4
  sh2_state.PR = pop_long(field_n());
  next_instruction();
  out::print<"LDS.L @R%d, PR\n">(field_n());
}
