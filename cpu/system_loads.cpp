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

using target_register = std::uint32_t sh2_registers::*;

template <target_register target>
void store(std::uint32_t value) {
  if constexpr (target == &sh2_registers::SR)
    sh2_state.SR = value & SR_WRITABLE;
  else
    sh2_state.*target = value;
}

// Target = Rm; the text names Rm.
template <target_register target, out::format_text text>
void load_from_register() {
  store<target>(R[field_n()]);
  next_instruction();
  out::print<text>(field_n());
}

// Target = long at Rm, Rm += 4; the text names Rm.
template <target_register target, out::format_text text>
void load_from_memory() {
  store<target>(pop_long(field_n()));
  next_instruction();
  out::print<text>(field_n());
}

}  // namespace

void op_ldc_sr() { load_from_register<&sh2_registers::SR, "LDC R%d, SR\n">(); }
void op_ldc_gbr() { load_from_register<&sh2_registers::GBR, "LDC R%d, GBR\n">(); }
void op_ldc_vbr() { load_from_register<&sh2_registers::VBR, "LDC R%d, VBR\n">(); }
void op_ldc_l_sr() { load_from_memory<&sh2_registers::SR, "LDC.L @R%d+, SR\n">(); }
void op_ldc_l_gbr() { load_from_memory<&sh2_registers::GBR, "LDC.L @R%d+, GBR\n">(); }
void op_ldc_l_vbr() { load_from_memory<&sh2_registers::VBR, "LDC.L @R%d+, VBR\n">(); }
void op_lds_mach() { load_from_register<&sh2_registers::MACH, "LDS R%d, MACH\n">(); }
void op_lds_macl() { load_from_register<&sh2_registers::MACL, "LDS R%d, MACL\n">(); }
void op_lds_pr() { load_from_register<&sh2_registers::PR, "LDS R%d, PR\n">(); }
void op_lds_l_mach() { load_from_memory<&sh2_registers::MACH, "LDS.L @R%d, MACH\n">(); }
void op_lds_l_macl() { load_from_memory<&sh2_registers::MACL, "LDS.L @R%d, MACL\n">(); }
void op_lds_l_pr() { load_from_memory<&sh2_registers::PR, "LDS.L @R%d, PR\n">(); }
