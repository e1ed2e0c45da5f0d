// Arithmetic, logic, compares, extensions and the byte stores. Each handler
// computes, steps PC past itself and prints its line.
#include "handlers.h"
#include "output.h"

namespace {

bool negative(std::uint32_t v) { return (v >> 31) != 0; }

std::int32_t as_signed(std::uint32_t v) { return static_cast<std::int32_t>(v); }

}  // namespace

void op_nop() {  // nothing
  next_instruction();
  out::print<"NOP\n">();
}

void op_add() {  // Rn = Rn + Rm
  R[field_n()] += R[field_m()];
  next_instruction();
  out::print<"ADD R%d, R%d\n">(field_m(), field_n());
}

void op_add_imm() {  // Rn = Rn + sign-extended i
  R[field_n()] += simm8();
  next_instruction();
  out::print<"ADD $%X, R%d\n">(imm8(), field_n());
}

void op_addc() {  // Rn = Rn + Rm + T, T = carry out
  const unsigned n = field_n();
  const std::uint32_t old = R[n];
  const std::uint32_t tmp = old + R[field_m()];
  const bool carry1 = old > tmp;
  R[n] = tmp + (sh2_state.SR & SR_T);
  const bool carry2 = tmp > R[n];
  set_sr_bit(SR_T, carry1 | carry2);
  next_instruction();
  out::print<"ADDC R%d, R%d\n">(field_m(), field_n());
}

void op_addv() {  // Rn = Rn + Rm, T = signed overflow
  const unsigned n = field_n();
  const std::uint32_t a = R[n], b = R[field_m()];
  R[n] = a + b;
  // Overflow: the sum's sign differs from both operands' signs.
  set_sr_bit(SR_T, negative((a ^ R[n]) & (b ^ R[n])));
  next_instruction();
  out::print<"ADDV R%d, R%d\n">(field_m(), field_n());
}

void op_and() {  // Rn = Rn & Rm
  R[field_n()] &= R[field_m()];
  next_instruction();
  out::print<"AND R%d, R%d\n">(field_m(), field_n());
}

void op_and_imm() {  // R0 = R0 & zero-extended i
  R[0] &= imm8();
  next_instruction();
  out::print<"AND $%X, R0\n">(imm8());
}

void op_and_b() {  // byte at R0 + GBR &= i, always written back
  const std::uint32_t address = R[0] + sh2_state.GBR;
  mem_write_byte(address, mem_read_byte(address) & imm8());
  next_instruction();
  out::print<"AND.B $%X, @(R0, GBR)\n">(imm8());
}

void op_clrmac() {  // MACH = MACL = 0
  sh2_state.MACH = 0;
  sh2_state.MACL = 0;
  next_instruction();
  out::print<"CLRMAC\n">();
}

void op_clrt() {  // T = 0
  set_sr_bit(SR_T, false);
  next_instruction();
  out::print<"CLRT\n">();
}

void op_cmp_eq() {  // T = Rn == Rm
  set_sr_bit(SR_T, R[field_n()] == R[field_m()]);
  next_instruction();
  out::print<"CMP/EQ R%d, R%d\n">(field_m(), field_n());
}

void op_cmp_ge() {  // T = Rn >= Rm, signed
  set_sr_bit(SR_T, as_signed(R[field_n()]) >= as_signed(R[field_m()]));
  next_instruction();
  out::print<"CMP/GE R%d, R%d\n">(field_m(), field_n());
}

void op_cmp_gt() {  // T = Rn > Rm, signed
  set_sr_bit(SR_T, as_signed(R[field_n()]) > as_signed(R[field_m()]));
  next_instruction();
  out::print<"CMP/GT R%d, R%d\n">(field_m(), field_n());
}

void op_cmp_hi() {  // T = Rn > Rm, unsigned
  set_sr_bit(SR_T, R[field_n()] > R[field_m()]);
  next_instruction();
  out::print<"CMP/HI R%d, R%d\n">(field_m(), field_n());
}

void op_cmp_hs() {  // T = Rn >= Rm, unsigned
  set_sr_bit(SR_T, R[field_n()] >= R[field_m()]);
  next_instruction();
  out::print<"CMP/HS R%d, R%d\n">(field_m(), field_n());
}

void op_cmp_pl() {  // T = Rn > 0, signed
  set_sr_bit(SR_T, as_signed(R[field_n()]) > 0);
  next_instruction();
  out::print<"CMP/PL R%d\n">(field_n());
}

void op_cmp_pz() {  // T = Rn >= 0, signed
  set_sr_bit(SR_T, !negative(R[field_n()]));
  next_instruction();
  out::print<"CMP/PZ R%d\n">(field_n());
}

void op_cmp_str() {  // T = some byte of Rn equals the same byte of Rm
  const std::uint32_t x = R[field_n()] ^ R[field_m()];
  // x has a zero byte exactly when this sets some byte's top bit (the borrow
  // can set a wrong one above a zero byte, but only where there is one).
  set_sr_bit(SR_T, ((x - 0x01010101u) & ~x & 0x80808080u) != 0);
  next_instruction();
  out::print<"CMP/STR R%d, R%d\n">(field_m(), field_n());
}

void op_cmp_eq_imm() {  // T = R0 == sign-extended i; printed as CMP/IM
  set_sr_bit(SR_T, R[0] == simm8());
  next_instruction();
  out::print<"CMP/IM $%X, R0\n">(imm8());
}

void op_dt() {  // Rn = Rn - 1, T = (Rn == 0)
  const unsigned n = field_n();
  --R[n];
  set_sr_bit(SR_T, R[n] == 0);
  next_instruction();
  out::print<"DT R%d\n">(n);
}

void op_exts_b() {  // Rn = sign-extended low byte of Rm
  const std::uint32_t v = R[field_m()] & 0xFF;
  R[field_n()] = (v ^ 0x80u) - 0x80u;
  next_instruction();
  out::print<"EXTSB R%d, R%d\n">(field_m(), field_n());
}

void op_exts_w() {  // Rn = sign-extended low word of Rm
  const std::uint32_t v = R[field_m()] & 0xFFFF;
  R[field_n()] = (v ^ 0x8000u) - 0x8000u;
  next_instruction();
  out::print<"EXTSW R%d, R%d\n">(field_m(), field_n());
}

void op_extu_b() {  // Rn = low byte of Rm
  R[field_n()] = R[field_m()] & 0xFF;
  next_instruction();
  out::print<"EXTUB R%d, R%d\n">(field_m(), field_n());
}

void op_extu_w() {  // Rn = low word of Rm
  R[field_n()] = R[field_m()] & 0xFFFF;
  next_instruction();
  out::print<"EXTUW R%d, R%d\n">(field_m(), field_n());
}

// SLEEP keeps PC where it is: the next step runs it again, for as long as the
// run goes on, unless a pending delayed branch moves PC after it.
void op_sleep() {
  out::print<"SLEEP\n">();
}

void op_mov_b_r0() {  // byte at R0 + Rn = low byte of Rm
  mem_write_byte(R[0] + R[field_n()], R[field_m()]);
  next_instruction();
  out::print<"MOV.B R%d, @(R0, R%d)\n">(field_m(), field_n());
}
