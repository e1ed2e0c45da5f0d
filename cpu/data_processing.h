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
void op_nop() {
  next_instruction();
  out::print<text>();
}

template <out::format_text text>
void op_add() {
  R[field<'n'>(ADD)] += R[field<'m'>(ADD)];
  next_instruction();
  out::print<text>(field<'m'>(ADD), field<'n'>(ADD));
}

template <out::format_text text>
void op_add_imm() {
  R[field<'n'>(ADD_imm)] += signed_field<'i'>(ADD_imm);
  next_instruction();
  out::print<text>(field<'i'>(ADD_imm), field<'n'>(ADD_imm));
}

template <out::format_text text>
void op_addc() {
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
void op_addv() {
  const unsigned n = field<'n'>(ADDV);
  const std::uint32_t a = R[n], b = R[field<'m'>(ADDV)];
  R[n] = a + b;
  // Overflow: the sum's sign differs from both operands' signs.
  set_sr_bit(SR_T, negative((a ^ R[n]) & (b ^ R[n])));
  next_instruction();
  out::print<text>(field<'m'>(ADDV), n);
}

template <out::format_text text>
void op_and() {
  R[field<'n'>(AND)] &= R[field<'m'>(AND)];
  next_instruction();
  out::print<text>(field<'m'>(AND), field<'n'>(AND));
}

template <out::format_text text>
void op_and_imm() {
  R[0] &= field<'i'>(AND_imm);
  next_instruction();
  out::print<text>(field<'i'>(AND_imm));
}

template <out::format_text text>
void op_and_b() {
  const std::uint32_t address = R[0] + sh2_state.GBR;
  mem_write_byte(address, mem_read_byte(address) & field<'i'>(AND_B));
  next_instruction();
  out::print<text>(field<'i'>(AND_B));
}

template <out::format_text text>
void op_clrmac() {
  sh2_state.MACH = 0;
  sh2_state.MACL = 0;
  next_instruction();
  out::print<text>();
}

template <out::format_text text>
void op_clrt() {
  set_sr_bit(SR_T, false);
  next_instruction();
  out::print<text>();
}

// The compares of Rn with Rm.
bool equal(std::uint32_t n, std::uint32_t m) { return n == m; }
bool signed_at_least(std::uint32_t n, std::uint32_t m) { return as_signed(n) >= as_signed(m); }
bool signed_above(std::uint32_t n, std::uint32_t m) { return as_signed(n) > as_signed(m); }
bool above(std::uint32_t n, std::uint32_t m) { return n > m; }
bool at_least(std::uint32_t n, std::uint32_t m) { return n >= m; }
bool a_byte_equal(std::uint32_t n, std::uint32_t m) {
  const std::uint32_t x = n ^ m;
  // x has a zero byte exactly when this sets some byte's top bit (the borrow
  // can set a wrong one above a zero byte, but only where there is one).
  return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

template <auto form, bool (*compare)(std::uint32_t n, std::uint32_t m), out::format_text text>
void op_compare() {
  set_sr_bit(SR_T, compare(R[field<'n'>(form)], R[field<'m'>(form)]));
  next_instruction();
  out::print<text>(field<'m'>(form), field<'n'>(form));
}

template <out::format_text text>
void op_cmp_pl() {
  set_sr_bit(SR_T, as_signed(R[field<'n'>(CMP_PL)]) > 0);
  next_instruction();
  out::print<text>(field<'n'>(CMP_PL));
}

template <out::format_text text>
void op_cmp_pz() {
  set_sr_bit(SR_T, !negative(R[field<'n'>(CMP_PZ)]));
  next_instruction();
  out::print<text>(field<'n'>(CMP_PZ));
}

template <out::format_text text>
void op_cmp_eq_imm() {
  set_sr_bit(SR_T, R[0] == static_cast<std::uint32_t>(signed_field<'i'>(CMP_EQ_imm)));
  next_instruction();
  out::print<text>(field<'i'>(CMP_EQ_imm));
}

template <out::format_text text>
void op_dt() {
  const unsigned n = field<'n'>(DT);
  --R[n];
  set_sr_bit(SR_T, R[n] == 0);
  next_instruction();
  out::print<text>(n);
}

// Rn = the low part of Rm that fits the type, extended as the type is.
template <auto form, typename part, out::format_text text>
void op_extend() {
  R[field<'n'>(form)] = static_cast<std::uint32_t>(static_cast<part>(R[field<'m'>(form)]));
  next_instruction();
  out::print<text>(field<'m'>(form), field<'n'>(form));
}

// SLEEP keeps PC where it is: the next step runs it again, for as long as the
// run goes on, unless a pending delayed branch moves PC after it.
template <out::format_text text>
void op_sleep() {
  out::print<text>();
}

template <out::format_text text>
void op_mov_b_r0() {
  mem_write_byte(R[0] + R[field<'n'>(MOV_B_R0)], R[field<'m'>(MOV_B_R0)]);
  next_instruction();
  out::print<text>(field<'m'>(MOV_B_R0), field<'n'>(MOV_B_R0));
}

// The pattern, the handler and the text of each row, and what it does. CMP/EQ
// #imm prints as CMP/IM, and the extensions without their dot.
constexpr opcode_row rows[] = {
    row(NOP, op_nop<"NOP\n">),                                            // nothing
    row(ADD, op_add<"ADD R%d, R%d\n">),                                   // Rn += Rm
    row(ADD_imm, op_add_imm<"ADD $%X, R%d\n">),                           // Rn += sign-extended i
    row(ADDC, op_addc<"ADDC R%d, R%d\n">),                                // Rn += Rm + T, T = carry
    row(ADDV, op_addv<"ADDV R%d, R%d\n">),                                // Rn += Rm, T = signed overflow
    row(AND, op_and<"AND R%d, R%d\n">),                                   // Rn &= Rm
    row(AND_imm, op_and_imm<"AND $%X, R0\n">),                            // R0 &= zero-extended i
    row(AND_B, op_and_b<"AND.B $%X, @(R0, GBR)\n">),                      // byte at R0 + GBR &= i
    row(CLRMAC, op_clrmac<"CLRMAC\n">),                                   // MACH = MACL = 0
    row(CLRT, op_clrt<"CLRT\n">),                                         // T = 0
    row(CMP_EQ, op_compare<CMP_EQ, equal, "CMP/EQ R%d, R%d\n">),          // T = Rn == Rm
    row(CMP_GE, op_compare<CMP_GE, signed_at_least, "CMP/GE R%d, R%d\n">),  // T = Rn >= Rm, signed
    row(CMP_GT, op_compare<CMP_GT, signed_above, "CMP/GT R%d, R%d\n">),     // T = Rn > Rm, signed
    row(CMP_HI, op_compare<CMP_HI, above, "CMP/HI R%d, R%d\n">),            // T = Rn > Rm, unsigned
    row(CMP_HS, op_compare<CMP_HS, at_least, "CMP/HS R%d, R%d\n">),         // T = Rn >= Rm, unsigned
    row(CMP_PL, op_cmp_pl<"CMP/PL R%d\n">),                               // T = Rn > 0, signed
    row(CMP_PZ, op_cmp_pz<"CMP/PZ R%d\n">),                               // T = Rn >= 0, signed
    row(CMP_STR, op_compare<CMP_STR, a_byte_equal, "CMP/STR R%d, R%d\n">),  // T = a byte of Rn equals Rm's
    row(CMP_EQ_imm, op_cmp_eq_imm<"CMP/IM $%X, R0\n">),                   // T = R0 == sign-extended i
    row(DT, op_dt<"DT R%d\n">),                                           // Rn -= 1, T = Rn == 0
    row(EXTS_B, op_extend<EXTS_B, std::int8_t, "EXTSB R%d, R%d\n">),      // Rn = Rm's low byte, signed
    row(EXTS_W, op_extend<EXTS_W, std::int16_t, "EXTSW R%d, R%d\n">),     // Rn = Rm's low word, signed
    row(EXTU_B, op_extend<EXTU_B, std::uint8_t, "EXTUB R%d, R%d\n">),     // Rn = Rm's low byte
    row(EXTU_W, op_extend<EXTU_W, std::uint16_t, "EXTUW R%d, R%d\n">),    // Rn = Rm's low word
    row(SLEEP, op_sleep<"SLEEP\n">),                                      // nothing, PC stays
    row(MOV_B_R0, op_mov_b_r0<"MOV.B R%d, @(R0, R%d)\n">),                // byte at R0 + Rn = Rm
};

}  // namespace
}  // namespace data_processing
