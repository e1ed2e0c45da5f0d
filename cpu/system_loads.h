// Loads of the control registers (SR, GBR, VBR) and the system registers
// (MACH, MACL, PR), from a register or from memory with post-increment: the
// handlers and the rows that name them. SR keeps only its writable bits. One
// of the instruction groups that opcode_table.cpp assembles its table from,
// and included there alone: the handlers are local to that file.
//
// The LDS.L texts show the address register without "+", although all six
// memory forms increment it alike.
#pragma once

#include "decoder.h"
#include "handlers.h"
#include "output.h"

namespace system_loads {
namespace {

using namespace isa;

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
template <auto form, target_register target, out::format_text text>
void load_from_register() {
  store<target>(R[field<'m'>(form)]);
  next_instruction();
  out::print<text>(field<'m'>(form));
}

// Target = long at Rm, Rm += 4; the text names Rm.
template <auto form, target_register target, out::format_text text>
void load_from_memory() {
  store<target>(pop_long(field<'m'>(form)));
  next_instruction();
  out::print<text>(field<'m'>(form));
}

// The pattern, the handler with its target and the text of each row.
constexpr opcode_row rows[] = {
    row(LDC_SR, load_from_register<LDC_SR, &sh2_registers::SR, "LDC R%d, SR\n">),
    row(LDC_GBR, load_from_register<LDC_GBR, &sh2_registers::GBR, "LDC R%d, GBR\n">),
    row(LDC_VBR, load_from_register<LDC_VBR, &sh2_registers::VBR, "LDC R%d, VBR\n">),
    row(LDC_L_SR, load_from_memory<LDC_L_SR, &sh2_registers::SR, "LDC.L @R%d+, SR\n">),
    row(LDC_L_GBR, load_from_memory<LDC_L_GBR, &sh2_registers::GBR, "LDC.L @R%d+, GBR\n">),
    row(LDC_L_VBR, load_from_memory<LDC_L_VBR, &sh2_registers::VBR, "LDC.L @R%d+, VBR\n">),
    row(LDS_MACH, load_from_register<LDS_MACH, &sh2_registers::MACH, "LDS R%d, MACH\n">),
    row(LDS_MACL, load_from_register<LDS_MACL, &sh2_registers::MACL, "LDS R%d, MACL\n">),
    row(LDS_PR, load_from_register<LDS_PR, &sh2_registers::PR, "LDS R%d, PR\n">),
    row(LDS_L_MACH, load_from_memory<LDS_L_MACH, &sh2_registers::MACH, "LDS.L @R%d, MACH\n">),
    row(LDS_L_MACL, load_from_memory<LDS_L_MACL, &sh2_registers::MACL, "LDS.L @R%d, MACL\n">),
    row(LDS_L_PR, load_from_memory<LDS_L_PR, &sh2_registers::PR, "LDS.L @R%d, PR\n">),
};

}  // namespace
}  // namespace system_loads
