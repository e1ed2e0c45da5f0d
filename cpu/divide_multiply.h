// Step division, the 32 x 32 -> 64-bit multiplies and multiply-accumulate:
// the handlers and the rows that name them. MACH:MACL is one 64-bit
// accumulator, MACH the high half. One of the instruction groups that
// opcode_table.cpp assembles its table from, and included there alone: the
// handlers are local to that file.
#pragma once

#include <utility>

#include "decoder.h"
#include "handlers.h"
#include "output.h"

namespace divide_multiply {
namespace {

using namespace isa;

std::uint32_t bit31(std::uint32_t v) { return v >> 31; }

std::int64_t signed_product(std::uint32_t x, std::uint32_t y) {
  return std::int64_t{static_cast<std::int32_t>(x)} * static_cast<std::int32_t>(y);
}

void set_mac(std::uint64_t value) {
  sh2_state.MACH = static_cast<std::uint32_t>(value >> 32);
  sh2_state.MACL = static_cast<std::uint32_t>(value);
}

// The operand at Rn, then the one at Rm, each register advancing past its
// own: with m = n the two operands are consecutive.
template <auto form, std::uint32_t (*read)(std::uint32_t), std::uint32_t size>
std::pair<std::uint32_t, std::uint32_t> pop_operands() {
  const unsigned n = field<'n'>(form), m = field<'m'>(form);
  const std::uint32_t a = read(R[n]);
  R[n] += size;
  const std::uint32_t b = read(R[m]);
  R[m] += size;
  return {a, b};
}

template <out::format_text text>
void op_div0s() {
  const std::uint32_t q = bit31(R[field<'n'>(DIV0S)]), m = bit31(R[field<'m'>(DIV0S)]);
  set_sr_bit(SR_Q, q != 0);
  set_sr_bit(SR_M, m != 0);
  set_sr_bit(SR_T, q != m);
  next_instruction();
  out::print<text>(field<'m'>(DIV0S), field<'n'>(DIV0S));
}

template <out::format_text text>
void op_div0u() {
  sh2_state.SR &= ~(SR_M | SR_Q | SR_T);
  next_instruction();
  out::print<text>();
}

// One step of non-restoring division: shift T into Rn, then subtract Rm when
// the old Q equals M, else add it. Rm is read after the shift, so DIV1 Rn,Rn
// works on the shifted value.
template <out::format_text text>
void op_div1() {
  const unsigned n = field<'n'>(DIV1);
  const bool old_q = sr_bit(SR_Q), m_bit = sr_bit(SR_M);
  const bool q = bit31(R[n]) != 0;
  const std::uint32_t r = (R[n] << 1) | (sh2_state.SR & SR_T);
  R[n] = r;
  const std::uint32_t divisor = R[field<'m'>(DIV1)];
  // Subtracting is adding the negated divisor; both ways are computed
  // without a branch, since the choice follows the data.
  const bool subtract = old_q == m_bit;
  const std::uint32_t negate = 0u - std::uint32_t{subtract};
  const std::uint32_t result = r + ((divisor ^ negate) - negate);
  const bool borrow = divisor > r, carry = result < r;
  const bool c = (subtract & borrow) | (!subtract & carry);
  R[n] = result;
  const bool new_q = q != m_bit ? !c : c;
  set_sr_bit(SR_Q, new_q);
  set_sr_bit(SR_T, new_q == m_bit);
  next_instruction();
  out::print<text>(field<'m'>(DIV1), n);
}

template <out::format_text text>
void op_dmuls() {
  set_mac(static_cast<std::uint64_t>(signed_product(R[field<'n'>(DMULS)], R[field<'m'>(DMULS)])));
  next_instruction();
  out::print<text>(field<'m'>(DMULS), field<'n'>(DMULS));
}

template <out::format_text text>
void op_dmulu() {
  set_mac(std::uint64_t{R[field<'n'>(DMULU)]} * R[field<'m'>(DMULU)]);
  next_instruction();
  out::print<text>(field<'m'>(DMULU), field<'n'>(DMULU));
}

// MACH:MACL += long at Rn x long at Rm, signed. With S = 1 the sum saturates
// as a 48-bit number, bits 0-15 of MACH over MACL. The negative bound is
// stored as MACH = 0x00008000, MACL = 0, without sign extension into MACH.
template <out::format_text text>
void op_mac_l() {
  const auto [a, b] = pop_operands<MAC_L, mem_read_long, 4>();
  const auto product = static_cast<std::uint64_t>(signed_product(a, b));
  const auto ph = static_cast<std::uint32_t>(product >> 32), pl = static_cast<std::uint32_t>(product);
  const std::uint32_t lo = sh2_state.MACL + pl;
  const std::uint32_t carry = sh2_state.MACL > lo;
  if (!sr_bit(SR_S)) {
    sh2_state.MACH += ph + carry;
    sh2_state.MACL = lo;
  } else {
    const std::int32_t h = static_cast<std::int16_t>(sh2_state.MACH & 0xFFFF);
    const std::int64_t u = std::int64_t{static_cast<std::int32_t>(ph)} + carry + h;
    if (u < -32768) {
      sh2_state.MACH = 0x00008000;
      sh2_state.MACL = 0;
    } else if (u > 32767) {
      sh2_state.MACH = 0x00007FFF;
      sh2_state.MACL = 0xFFFFFFFF;
    } else {
      sh2_state.MACH = static_cast<std::uint32_t>(u);
      sh2_state.MACL = lo;
    }
  }
  next_instruction();
  out::print<text>(field<'m'>(MAC_L), field<'n'>(MAC_L));
}

// MACH:MACL += word at Rn x word at Rm, signed. With S = 1 only MACL takes
// the sum, saturated to 32 bits, and MACH is left alone.
template <out::format_text text>
void op_mac_w() {
  const auto [a, b] = pop_operands<MAC_W, mem_read_word, 2>();
  const std::int32_t p = std::int32_t{static_cast<std::int16_t>(a)} * static_cast<std::int16_t>(b);
  const std::uint32_t old = sh2_state.MACL;
  const std::uint32_t sum = old + static_cast<std::uint32_t>(p);
  if (!sr_bit(SR_S)) {
    sh2_state.MACH += (p < 0 ? 0xFFFFFFFFu : 0u) + (old > sum ? 1u : 0u);
    sh2_state.MACL = sum;
  } else if (bit31(old) == (p < 0 ? 1u : 0u) && bit31(sum) != bit31(old)) {
    sh2_state.MACL = bit31(old) == 0 ? 0x7FFFFFFFu : 0x80000000u;
  } else {
    sh2_state.MACL = sum;
  }
  next_instruction();
  out::print<text>(field<'m'>(MAC_W), field<'n'>(MAC_W));
}

// The pattern, the handler and the text of each row, and what it does.
constexpr opcode_row rows[] = {
    row(DIV0S, op_div0s<"DIV0S R%d, R%d\n">),       // Q = Rn bit 31, M = Rm bit 31, T = Q != M
    row(DIV0U, op_div0u<"DIV0U\n">),                // M = Q = T = 0
    row(DIV1, op_div1<"DIV1 R%d, R%d\n">),          // one step of Rn / Rm
    row(DMULS, op_dmuls<"DMULS R%d, R%d\n">),       // MACH:MACL = Rn x Rm, signed
    row(DMULU, op_dmulu<"DMULU R%d, R%d\n">),       // MACH:MACL = Rn x Rm, unsigned
    row(MAC_L, op_mac_l<"MAC.L @R%d+, @R%d+\n">),   // MACH:MACL += long at Rn x long at Rm
    row(MAC_W, op_mac_w<"MAC.W @R%d+, @R%d+\n">),   // MACH:MACL += word at Rn x word at Rm
};

}  // namespace
}  // namespace divide_multiply
