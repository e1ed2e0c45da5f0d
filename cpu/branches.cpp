// The branches. Each sets PC itself. A delayed branch sets PC to its target
// and then arms the delay slot at its own address + 2; the execution step
// moves PC to the target after the slot instruction has run.
//
// Deliberate: the subroutine calls leave their own address in PR (not the
// address after the delay slot), BRAF and BSRF go to A + Rm, and JMP and JSR
// go to Rm + 4.
#include "decoder.h"
#include "handlers.h"
#include "output.h"

namespace {

bool t_set() { return sr_bit(SR_T); }

// A + 4 + 2 x displacement, modulo 2^32.
std::uint32_t relative_target(std::uint32_t displacement) { return sh2_state.PC + 4 + 2 * displacement; }

// Sets PC for BF and BT, which have no delay slot.
void branch_if(bool taken) { sh2_state.PC = taken ? relative_target(simm8()) : sh2_state.PC + 2; }

// For BF/S and BT/S: a branch not taken arms nothing.
void delayed_branch_if(bool taken) {
  if (taken) {
    const std::uint32_t a = sh2_state.PC;
    sh2_state.PC = relative_target(simm8());
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

}  // namespace

void op_bf() {  // if T = 0: PC = A + 4 + 2 x d8
  branch_if(!t_set());
  out::print<"BF $%X (%d)\n">(disp8(), disp8());
}

void op_bf_s() {  // if T = 0: delayed PC = A + 4 + 2 x d8
  delayed_branch_if(!t_set());
  out::print<"BF/S $%X (%d)\n">(disp8(), disp8());
}

void op_bt() {  // if T = 1: PC = A + 4 + 2 x d8
  branch_if(t_set());
  out::print<"BT $%X (%d)\n">(disp8(), disp8());
}

void op_bt_s() {  // if T = 1: delayed PC = A + 4 + 2 x d8
  delayed_branch_if(t_set());
  out::print<"BT/S $%X (%d)\n">(disp8(), disp8());
}

// BRA alone prints its displacement unsigned, so -2 shows as 4294967294.
void op_bra() {  // delayed PC = A + 4 + 2 x d12
  delayed_branch_to(relative_target(disp12()));
  out::print<"BRA $%X (%lu)\n">(disp12(), disp12());
}

void op_braf() {  // delayed PC = A + Rm
  const unsigned m = field_n();
  delayed_branch_to(sh2_state.PC + R[m]);
  out::print<"BRAF @R%d\n">(m);
}

void op_bsr() {  // PR = A, delayed PC = A + 4 + 2 x d12
  sh2_state.PR = sh2_state.PC;
  delayed_branch_to(relative_target(disp12()));
  out::print<"BSR $%X (%d)\n">(disp12(), disp12());
}

void op_bsrf() {  // PR = A, delayed PC = A + Rm
  const unsigned m = field_n();
  sh2_state.PR = sh2_state.PC;
  delayed_branch_to(sh2_state.PC + R[m]);
  out::print<"BSRF @R%d\n">(m);
}

void op_jmp() {  // delayed PC = Rm + 4
  const unsigned m = field_n();
  delayed_branch_to(R[m] + 4);
  out::print<"JMP @R%d\n">(m);
}

void op_jsr() {  // PR = A, delayed PC = Rm + 4
  const unsigned m = field_n();
  sh2_state.PR = sh2_state.PC;
  delayed_branch_to(R[m] + 4);
  out::print<"JSR @R%d\n">(m);
}
