// The branches: the handlers and the rows that name them. Each handler sets PC
// itself. A delayed branch sets PC to its target and then arms the delay slot
// at its own address + 2; the execution step moves PC to the target after the
// slot instruction has run. One of the instruction groups that
// opcode_table.cpp assembles its table from, and included there alone: the
// handlers are local to that file.
//
// Deliberate: the subroutine calls leave their own address in PR (not the
// address after the delay slot), BRAF and BSRF go to A + Rm, and JMP and JSR
// go to Rm + 4.
#pragma once

#include "decoder.h"
#include "handlers.h"
#include "output.h"

namespace branches {
namespace {

using namespace isa;

bool t_set() { return sr_bit(SR_T); }

// A + 4 + 2 x displacement, modulo 2^32.
std::uint32_t relative_target(std::uint32_t displacement) { return sh2_state.PC + 4 + 2 * displacement; }

// Sets PC for BF and BT, which have no delay slot.
void branch_if(bool taken, std::uint32_t displacement) {
  sh2_state.PC = taken ? relative_target(displacement) : sh2_state.PC + 2;
}

// For BF/S and BT/S: a branch not taken arms nothing.
void delayed_branch_if(bool taken, std::uint32_t displacement) {
  if (taken) {
    const std::uint32_t a = sh2_state.PC;
    sh2_state.PC = relative_target(displacement);
    delay_slot(a + 2);
  } else {
    sh2_state.PC += 2;
  }
}

void delayed_branch_to(std::uint32_t target) {
  const std::uint32_t a = sh2_state.PC;
  sh2_state.PC = target;
  delay_slot(a + 2);
}

template <out::format_text text>
void op_bf() {
  const auto d = signed_field<'d'>(BF);
  branch_if(!t_set(), d);
  out::print<text>(d, d);
}

template <out::format_text text>
void op_bf_s() {
  const auto d = signed_field<'d'>(BF_S);
  delayed_branch_if(!t_set(), d);
  out::print<text>(d, d);
}

template <out::format_text text>
void op_bt() {
  const auto d = signed_field<'d'>(BT);
  branch_if(t_set(), d);
  out::print<text>(d, d);
}

template <out::format_text text>
void op_bt_s() {
  const auto d = signed_field<'d'>(BT_S);
  delayed_branch_if(t_set(), d);
  out::print<text>(d, d);
}

template <out::format_text text>
void op_bra() {
  const auto d = signed_field<'d'>(BRA);
  delayed_branch_to(relative_target(d));
  out::print<text>(d, d);
}

template <out::format_text text>
void op_braf() {
  const unsigned m = field<'m'>(BRAF);
  delayed_branch_to(sh2_state.PC + R[m]);
  out::print<text>(m);
}

template <out::format_text text>
void op_bsr() {
  const auto d = signed_field<'d'>(BSR);
  sh2_state.PR = sh2_state.PC;
  delayed_branch_to(relative_target(d));
  out::print<text>(d, d);
}

template <out::format_text text>
void op_bsrf() {
  const unsigned m = field<'m'>(BSRF);
  sh2_state.PR = sh2_state.PC;
  delayed_branch_to(sh2_state.PC + R[m]);
  out::print<text>(m);
}

template <out::format_text text>
void op_jmp() {
  const unsigned m = field<'m'>(JMP);
  delayed_branch_to(R[m] + 4);
  out::print<text>(m);
}

template <out::format_text text>
void op_jsr() {
  const unsigned m = field<'m'>(JSR);
  sh2_state.PR = sh2_state.PC;
  delayed_branch_to(R[m] + 4);
  out::print<text>(m);
}

// The pattern, the handler and the text of each row, and what it does; A is
// the branch's address. The displacements print as the words they
// sign-extend to, in hexadecimal and decimal; BRA alone prints its decimal
// unsigned, so -2 shows as 4294967294.
constexpr opcode_row rows[] = {
    row(BF, op_bf<"BF $%X (%d)\n">),        // if T = 0: PC = A + 4 + 2 x d8
    row(BF_S, op_bf_s<"BF/S $%X (%d)\n">),  // if T = 0: delayed PC = A + 4 + 2 x d8
    row(BT, op_bt<"BT $%X (%d)\n">),        // if T = 1: PC = A + 4 + 2 x d8
    row(BT_S, op_bt_s<"BT/S $%X (%d)\n">),  // if T = 1: delayed PC = A + 4 + 2 x d8
    row(BRA, op_bra<"BRA $%X (%lu)\n">),    // delayed PC = A + 4 + 2 x d12
    row(BRAF, op_braf<"BRAF @R%d\n">),      // delayed PC = A + Rm
    row(BSR, op_bsr<"BSR $%X (%d)\n">),     // PR = A, delayed PC = A + 4 + 2 x d12
    row(BSRF, op_bsrf<"BSRF @R%d\n">),      // PR = A, delayed PC = A + Rm
    row(JMP, op_jmp<"JMP @R%d\n">),         // delayed PC = Rm + 4
    row(JSR, op_jsr<"JSR @R%d\n">),         // PR = A, delayed PC = Rm + 4
};

}  // namespace
}  // namespace branches
