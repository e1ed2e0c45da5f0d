// The instruction handlers, and the operand fields they take from the
// latched instruction word.
#pragma once

#include <cstdint>

#include "sh2.h"

// Bits 8-11: Rn of the n and nm formats, Rm of the m format.
inline unsigned field_n() { return (sh2_state.instruction_word >> 8) & 0xF; }
// Bits 4-7: Rm of the nm format.
inline unsigned field_m() { return (sh2_state.instruction_word >> 4) & 0xF; }
// Bits 0-7, as they stand.
inline std::uint32_t imm8() { return sh2_state.instruction_word & 0xFF; }
// Bits 0-7 sign-extended.
inline std::uint32_t simm8() { return (imm8() ^ 0x80u) - 0x80u; }
// Bits 0-11 sign-extended.
inline std::uint32_t disp12() { return ((sh2_state.instruction_word & 0xFFFu) ^ 0x800u) - 0x800u; }
