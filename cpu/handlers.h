// What the instruction handlers work with: the registers, the step past an
// instruction, and the operands of the word being executed, each named by
// its letter in the handler's own pattern.
#pragma once

#include <array>
#include <cstdint>

#include "instruction_set.h"
#include "sh2.h"

// The general registers, as the handlers name them.
inline std::array<std::uint32_t, 16>& R = sh2_state.R;

// Ordinary instructions end by stepping PC past themselves.
inline void next_instruction() { sh2_state.PC += 2; }

// field<'m'>(JMP) is JMP's Rm in the word being executed.
template <char L, isa::bit_pattern P>
inline auto field(isa::instruction<P> form) {
  return isa::operand<L>(form, sh2_state.instruction_word);
}

// The field as a signed number: displacements, and the immediates that are
// added and compared.
template <char L, isa::bit_pattern P>
inline auto signed_field(isa::instruction<P> form) {
  return isa::signed_operand<L>(form, sh2_state.instruction_word);
}
