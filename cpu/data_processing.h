// Arithmetic, logic, compares, extensions and the byte stores: the handlers,
// each of which computes, steps PC past itself and prints its row's text, and
// the rows that name them. One of the instruction groups that opcode_table.cpp
// assembles its table from, and included there alone: the handlers are local
// to that file.
#pragma once

#include "decoder.h"
#include "handlers.h"
#include "output.h"

namespace data_processing {
namespace {

using namespace isa;

bool negative(std::uint32_t v) { return (v >> 31) != 0; }

std::int32_t as_signed(std::uint32_t v) { return static_cast<std::int32_t>(v); }

template <out::format_text text>
void op_nop() {  // nothing
  next_instruction();
  out::print<text>();
}

template <out::format_text text>
void op_add() {  // Rn = Rn + Rm
  R[field<'n'>(ADD)] += R[field<'m'>(ADD)];
  next_instruction();
  out::print<text>(field<'m'>(ADD), field<'n'>(ADD));
}

template <out::format_text text>
void op_add_imm() {  // Rn = Rn + sign-extended i
  R[field<'n'>(ADD_imm)] += signed_field<'i'>(ADD_imm);
  next_instruction();
  out::print<text>(field<'i'>(ADD_imm), field<'n'>(ADD_imm));
}

template <out::format_text text>
void op_addc() {  // Rn = Rn + Rm + T, T = carry out
  const unsigned n = field<'n'>(ADDC);
  const std::uint32_t old = R[n];
  const std::uint32_t tmp = old + R[field<'m'>(ADDC)];
  const bool carry1 = old > tmp;
  R[n] = tmp + (sh2_state.SR & SR_T);
  const bool carry2 = tmp > R[n];
  set_sr_bit(SR_T, carry1 | carry2);
  next_instruction();
  out::print<text>(field<'m'>(ADDC), n);
}

template <out::format_text text>
void op_addv() {  // Rn = Rn + Rm, T = signed overflow
  const unsigned n = field<'n'>(ADDV);
  const std::uint32_t a = R[n], b = R[field<'m'>(ADDV)];
  R[n] = a + b;
  // Overflow: the sum's sign differs from both operands' signs.
  set_sr_bit(SR_T, negative((a ^ R[n]) & (b ^ R[n])));
  next_instruction();
  out::print<text>(field<'m'>(ADDV), n);
}

template <out::format_text text>
void op_and() {  // Rn = Rn & Rm
  R[field<'n'>(AND)] &= R[field<'m'>(AND)];
  next_instruction();
  out::print<text>(field<'m'>(AND), field<'n'>(AND));
}

template <out::format_text text>
void op_and_imm() {  // R0 = R0 & zero-extended i
  R[0] &= field<'i'>(AND_imm);
  next_instruction();
  out::print<text>(field<'i'>(AND_imm));
}

template <out::format_text text>
void op_and_b() {  // byte at R0 + GBR &= i, always written back
  const std::uint32_t address = R[0] + sh2_state.GBR;
  mem_write_byte(address, mem_read_byte(address) & field<'i'>(AND_B));
  next_instruction();
  out::print<text>(field<'i'>(AND_B));
}

template <out::format_text text>
void op_clrmac() {  // MACH = MACL = 0
  sh2_state.MACH = 0;
  sh2_state.MACL = 0;
  next_instruction();
  out::print<text>();
}

template <out::format_text text>
void op_clrt() {  // T = 0
  set_sr_bit(SR_T, false);
  next_instruction();
  out::print<text>();
}

template <out::format_text text>
void op_cmp_eq() {  // T = Rn == Rm
  set_sr_bit(SR_T, R[field<'n'>(CMP_EQ)] == R[field<'m'>(CMP_EQ)]);
  next_instruction();
  out::print<text>(field<'m'>(CMP_EQ), field<'n'>(CMP_EQ));
}

template <out::format_text text>
void op_cmp_ge() {  // T = Rn >= Rm, signed
  set_sr_bit(SR_T, as_signed(R[field<'n'>(CMP_GE)]) >= as_signed(R[field<'m'>(CMP_GE)]));
  next_instruction();
  out::print<text>(field<'m'>(CMP_GE), field<'n'>(CMP_GE));
}

template <out::format_text text>
void op_cmp_gt() {  // T = Rn > Rm, signed
  set_sr_bit(SR_T, as_signed(R[field<'n'>(CMP_GT)]) > as_signed(R[field<'m'>(CMP_GT)]));
  next_instruction();
  out::print<text>(field<'m'>(CMP_GT), field<'n'>(CMP_GT));
}

template <out::format_text text>
void op_cmp_hi() {  // T = Rn > Rm, unsigned
  set_sr_bit(SR_T, R[field<'n'>(CMP_HI)] > R[field<'m'>(CMP_HI)]);
  next_instruction();
  out::print<text>(field<'m'>(CMP_HI), field<'n'>(CMP_HI));
}

template <out::format_text text>
void op_cmp_hs() {  // T = Rn >= Rm, unsigned
  set_sr_bit(SR_T, R[field<'n'>(CMP_HS)] >= R[field<'m'>(CMP_HS)]);
  next_instruction();
  out::print<text>(field<'m'>(CMP_HS), field<'n'>(CMP_HS));
}

template <out::format_text text>
void op_cmp_pl() {  // T = Rn > 0, signed
  set_sr_bit(SR_T, as_signed(R[field<'n'>(CMP_PL)]) > 0);
  next_instruction();
  out::print<text>(field<'n'>(CMP_PL));
}

template <out::format_text text>
void op_cmp_pz() {  // T = Rn >= 0, signed
  set_sr_bit(SR_T, !negative(R[field<'n'>(CMP_PZ)]));
  next_instruction();
  out::print<text>(field<'n'>(CMP_PZ));
}

template <out::format_text text>
void op_cmp_str() {  // T = some byte of Rn equals the same byte of Rm
  const std::uint32_t x = R[field<'n'>(CMP_STR)] ^ R[field<'m'>(CMP_STR)];
  // x has a zero byte exactly when this sets some byte's top bit (the borrow
  // can set a wrong one above a zero byte, but only where there is one).
  set_sr_bit(SR_T, ((x - 0x01010101u) & ~x & 0x80808080u) != 0);
  next_instruction();
  out::print<text>(field<'m'>(CMP_STR), field<'n'>(CMP_STR));
}

template <out::format_text text>
void op_cmp_eq_imm() {  // T = R0 == sign-extended i
  set_sr_bit(SR_T, R[0] == static_cast<std::uint32_t>(signed_field<'i'>(CMP_EQ_imm)));
  next_instruction();
  out::print<text>(field<'i'>(CMP_EQ_imm));
}

template <out::format_text text>
void op_dt() {  // Rn = Rn - 1, T = (Rn == 0)
  const unsigned n = field<'n'>(DT);
  --R[n];
  set_sr_bit(SR_T, R[n] == 0);
  next_instruction();
  out::print<text>(n);
}

template <out::format_text text>
void op_exts_b() {  // Rn = sign-extended low byte of Rm
  const std::uint32_t v = R[field<'m'>(EXTS_B)] & 0xFF;
  R[field<'n'>(EXTS_B)] = (v ^ 0x80u) - 0x80u;
  next_instruction();
  out::print<text>(field<'m'>(EXTS_B), field<'n'>(EXTS_B));
}

template <out::format_text text>
void op_exts_w() {  // Rn = sign-extended low word of Rm
  const std::uint32_t v = R[field<'m'>(EXTS_W)] & 0xFFFF;
  R[field<'n'>(EXTS_W)] = (v ^ 0x8000u) - 0x8000u;
  next_instruction();
  out::print<text>(field<'m'>(EXTS_W), field<'n'>(EXTS_W));
}

template <out::format_text text>
void op_extu_b() {  // Rn = low byte of Rm
  R[field<'n'>(EXTU_B)] = R[field<'m'>(EXTU_B)] & 0xFF;
  next_instruction();
  out::print<text>(field<'m'>(EXTU_B), field<'n'>(EXTU_B));
}

template <out::format_text text>
void op_extu_w() {  // Rn = low word of Rm
  R[field<'n'>(EXTU_W)] = R[field<'m'>(EXTU_W)] & 0xFFFF;
  next_instruction();
  out::print<text>(field<'m'>(EXTU_W), field<'n'>(EXTU_W));
}

// SLEEP keeps PC where it is: the next step runs it again, for as long as the
// run goes on, unless a pending delayed branch moves PC after it.
template <out::format_text text>
void op_sleep() {
  out::print<text>();
}

template <out::format_text text>
void op_mov_b_r0() {  // byte at R0 + Rn = low byte of Rm
  mem_write_byte(R[0] + R[field<'n'>(MOV_B_R0)], R[field<'m'>(MOV_B_R0)]);
  next_instruction();
  out::print<text>(field<'m'>(MOV_B_R0), field<'n'>(MOV_B_R0));
}

// The pattern, the handler and the text of each row. CMP/EQ #imm prints as
// CMP/IM, and the extensions without their dot.
constexpr opcode_row rows[] = {
    row(NOP, op_nop<"NOP\n">),
    row(ADD, op_add<"ADD R%d, R%d\n">),
    row(ADD_imm, op_add_imm<"ADD $%X, R%d\n">),
    row(ADDC, op_addc<"ADDC R%d, R%d\n">),
    row(ADDV, op_addv<"ADDV R%d, R%d\n">),
    row(AND, op_and<"AND R%d, R%d\n">),
    row(AND_imm, op_and_imm<"AND $%X, R0\n">),
    row(AND_B, op_and_b<"AND.B $%X, @(R0, GBR)\n">),
    row(CLRMAC, op_clrmac<"CLRMAC\n">),
    row(CLRT, op_clrt<"CLRT\n">),
    row(CMP_EQ, op_cmp_eq<"CMP/EQ R%d, R%d\n">),
    row(CMP_GE, op_cmp_ge<"CMP/GE R%d, R%d\n">),
    row(CMP_GT, op_cmp_gt<"CMP/GT R%d, R%d\n">),
    row(CMP_HI, op_cmp_hi<"CMP/HI R%d, R%d\n">),
    row(CMP_HS, op_cmp_hs<"CMP/HS R%d, R%d\n">),
    row(CMP_PL, op_cmp_pl<"CMP/PL R%d\n">),
    row(CMP_PZ, op_cmp_pz<"CMP/PZ R%d\n">),
    row(CMP_STR, op_cmp_str<"CMP/STR R%d, R%d\n">),
    row(CMP_EQ_imm, op_cmp_eq_imm<"CMP/IM $%X, R0\n">),
    row(DT, op_dt<"DT R%d\n">),
    row(EXTS_B, op_exts_b<"EXTSB R%d, R%d\n">),
    row(EXTS_W, op_exts_w<"EXTSW R%d, R%d\n">),
    row(EXTU_B, op_extu_b<"EXTUB R%d, R%d\n">),
    row(EXTU_W, op_extu_w<"EXTUW R%d, R%d\n">),
    row(SLEEP, op_sleep<"SLEEP\n">),
    row(MOV_B_R0, op_mov_b_r0<"MOV.B R%d, @(R0, R%d)\n">),
};

}  // namespace
}  // namespace data_processing
