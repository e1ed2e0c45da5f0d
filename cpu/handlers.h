// The instruction handlers, and the operand fields they take from the
// latched instruction word.
#pragma once

#include <array>
#include <cstdint>

#include "sh2.h"

// The general registers, as the handlers name them.
inline std::array<std::uint32_t, 16>& R = sh2_state.R;

// Ordinary instructions end by stepping PC past themselves.
inline void next_instruction() { sh2_state.PC += 2; }

// Bits 8-11: Rn of the n and nm formats, Rm of the m format.
inline unsigned field_n() { return (sh2_state.instruction_word >> 8) & 0xF; }
// Bits 4-7: Rm of the nm format.
inline unsigned field_m() { return (sh2_state.instruction_word >> 4) & 0xF; }
// Bits 0-7, as they stand.
inline std::uint8_t imm8() { return static_cast<std::uint8_t>(sh2_state.instruction_word); }
// Bits 0-7 sign-extended.
inline std::uint32_t simm8() { return (imm8() ^ 0x80u) - 0x80u; }
// Bits 0-7 as the signed displacement they are: printed as simm8() would be.
inline std::int8_t disp8() { return static_cast<std::int8_t>(imm8()); }
// Bits 0-11 sign-extended.
inline std::uint32_t disp12() { return ((sh2_state.instruction_word & 0xFFFu) ^ 0x800u) - 0x800u; }

// Data processing.
void op_nop();
void op_add();
void op_add_imm();
void op_addc();
void op_addv();
void op_and();
void op_and_imm();
void op_and_b();
void op_clrmac();
void op_clrt();
void op_cmp_eq();
void op_cmp_ge();
void op_cmp_gt();
void op_cmp_hi();
void op_cmp_hs();
void op_cmp_pl();
void op_cmp_pz();
void op_cmp_str();
void op_cmp_eq_imm();
void op_dt();
void op_exts_b();
void op_exts_w();
void op_extu_b();
void op_extu_w();
void op_sleep();
void op_mov_b_r0();

// Branches.
void op_bf();
void op_bf_s();
void op_bt();
void op_bt_s();
void op_bra();
void op_braf();
void op_bsr();
void op_bsrf();
void op_jmp();
void op_jsr();

// Control and system register loads.
void op_ldc_sr();
void op_ldc_gbr();
void op_ldc_vbr();
void op_ldc_l_sr();
void op_ldc_l_gbr();
void op_ldc_l_vbr();
void op_lds_mach();
void op_lds_macl();
void op_lds_pr();
void op_lds_l_mach();
void op_lds_l_macl();
void op_lds_l_pr();

// Division, multiplication, multiply-accumulate.
void op_div0s();
void op_div0u();
void op_div1();
void op_dmuls();
void op_dmulu();
void op_mac_l();
void op_mac_w();
