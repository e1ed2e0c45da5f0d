// Step division, the 64-bit multiplies and multiply-accumulate, checked
// in-process against native 64-bit arithmetic over random states, plus the
// boundary cases that random operands rarely reach.
#include <cstdint>
#include <iterator>
#include <random>

#include "cpu_fixture.h"
#include "handlers.h"

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i64 = std::int64_t;
using namespace sh2_asm;

// Operands biased towards the values where products and carries go wrong.
u32 operand(std::mt19937& rng) {
  static constexpr u32 edges[] = {0, 1, 2, 0xFFFFFFFF, 0xFFFFFFFE, 0x80000000, 0x7FFFFFFF, 0xFFFF, 0x10000, 0xFFFF8000};
  switch (rng() % 4) {
    case 0: return edges[rng() % std::size(edges)];
    case 1: return rng() >> (rng() % 32);
    case 2: return 0u - (rng() >> (rng() % 32));
    default: return rng();
  }
}

u64 mac() { return u64{sh2_state.MACH} << 32 | sh2_state.MACL; }

class divide_multiply : public cpu_test {
 protected:
  void randomize() {
    randomize_registers(rng, [&] { return operand(rng); });
  }
  unsigned reg() { return rng() % 16; }

  std::mt19937 rng{20240611};
};

TEST_F(divide_multiply, division_examples) {
  const struct {
    std::uint16_t word;
    u32 sr, rn, rm, want_sr, want_rn;
  } cases[] = {
      // DIV0S R1,R2 takes Q from R2 and M from R1; S and the mask stay.
      {DIV0S(1, 2), 0x0F2, 0x80000000, 1, 0x1F3, 0x80000000},
      {DIV0S(1, 2), 0x0F2, 0x80000000, 0xFFFFFFFF, 0x3F2, 0x80000000},
      {DIV0S(2, 2), 0x001, 0x80000000, 0, 0x300, 0x80000000},
      {DIV0S(2, 2), 0x301, 0x7FFFFFFF, 0, 0x000, 0x7FFFFFFF},
      {DIV0U(), 0x3F3, 5, 5, 0x0F2, 5},
      // DIV1 R1,R2 twice from R2 = 1, R1 = 3: subtract, then add.
      {DIV1(1, 2), 0x000, 1, 3, 0x100, 0xFFFFFFFF},
      {DIV1(1, 2), 0x100, 0xFFFFFFFF, 3, 0x001, 1},
      // DIV1 R2,R2: the operand is the shifted value itself.
      {DIV1(2, 2), 0x001, 5, 0, 0x001, 0},
      {DIV1(2, 2), 0x101, 5, 0, 0x001, 22},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word << " SR " << c.sr << " Rn " << c.rn);
    sh2_state.SR = c.sr;
    R[1] = c.rm;
    R[2] = c.rn;
    step(c.word);
    EXPECT_EQ(sh2_state.SR, c.want_sr);
    EXPECT_EQ(R[2], c.want_rn);
  }
}

// The step table: old Q and M choose subtract (equal) or add; the new Q is the
// carry c, or its inverse, depending on old Q, M and Rn's top bit.
TEST_F(divide_multiply, div1_follows_its_step_table) {
  const struct {
    bool old_q, m, top, inverted;
  } table[] = {
      {0, 0, 0, false}, {0, 0, 1, true},  {0, 1, 0, true},  {0, 1, 1, false},
      {1, 0, 0, false}, {1, 0, 1, true},  {1, 1, 0, true},  {1, 1, 1, false},
  };
  for (int i = 0; i < 20000; ++i) {
    randomize();
    const unsigned n = reg(), m = (n + 1 + rng() % 15) % 16;
    const bool old_q = sr_bit(SR_Q), m_bit = sr_bit(SR_M), top = R[n] >> 31;
    const u64 r = static_cast<u32>(R[n] << 1 | (T() ? 1 : 0));
    const bool subtract = old_q == m_bit;
    const bool c = subtract ? r < R[m] : (r + R[m]) >> 32;
    bool q = false;
    for (const auto& row : table)
      if (row.old_q == old_q && row.m == m_bit && row.top == top) q = c != row.inverted;

    sh2_registers want = sh2_state;
    want.R[n] = static_cast<u32>(subtract ? r - R[m] : r + R[m]);
    want.SR = (want.SR & ~(SR_Q | SR_T)) | (q ? SR_Q : 0) | (q == m_bit ? SR_T : 0);
    want.PC += 2;
    step(DIV1(m, n));
    ASSERT_EQ(registers(sh2_state), registers(want)) << "DIV1 R" << m << ", R" << n;
  }
}

// The unsigned division sequence: DIV0U, then 32 times a rotate of the low
// dividend word through T (done here by hand) and DIV1 on the high word; a last
// rotate leaves the quotient in the low word.
TEST_F(divide_multiply, thirty_two_div1_steps_divide_64_by_32_bits) {
  const auto rotate_low_through_t = [] {
    const bool out = R[2] >> 31;
    R[2] = R[2] << 1 | (T() ? 1 : 0);
    set_T(out);
  };
  for (int i = 0; i < 3000; ++i) {
    const u32 divisor = operand(rng) | (rng() % 2 ? 0 : 1);
    if (divisor == 0) continue;
    const u32 high = i % 3 == 0 ? 0 : rng() % divisor, low = operand(rng);
    R[0] = divisor;
    R[1] = high;
    R[2] = low;
    step(DIV0U());
    for (int k = 0; k < 32; ++k) {
      rotate_low_through_t();
      step(DIV1(0, 1));
    }
    rotate_low_through_t();
    ASSERT_EQ(R[2], (u64{high} << 32 | low) / divisor) << std::hex << high << ':' << low << " / " << divisor;
  }
}

TEST_F(divide_multiply, dmuls_and_dmulu_give_the_exact_64_bit_product) {
  for (int i = 0; i < 20000; ++i) {
    const bool is_signed = i % 2;
    randomize();
    const unsigned n = reg(), m = reg();
    const u32 x = R[n], y = R[m];
    sh2_registers want = sh2_state;
    const u64 product = is_signed ? static_cast<u64>(i64{static_cast<std::int32_t>(x)} * static_cast<std::int32_t>(y))
                                  : u64{x} * y;
    want.MACH = static_cast<u32>(product >> 32);
    want.MACL = static_cast<u32>(product);
    want.PC += 2;
    step(is_signed ? DMULS(m, n) : DMULU(m, n));
    ASSERT_EQ(registers(sh2_state), registers(want))
        << (is_signed ? "DMULS" : "DMULU") << std::hex << ' ' << x << ' ' << y;
  }
}

// MAC.L and MAC.W against 64-bit sums. With S = 1, MAC.L clamps to 48 bits
// (the negative bound stored as MACH = 0x00008000, MACL = 0) and MAC.W clamps
// MACL to 32 bits without touching MACH.
TEST_F(divide_multiply, mac_adds_the_product_to_the_accumulator_or_saturates) {
  int outcomes[2][2][3] = {};  // [MAC.W][S][within, above, below]
  for (int i = 0; i < 40000; ++i) {
    const bool word = i % 2, saturating = i / 2 % 2;
    const int size = word ? 2 : 4;
    randomize();
    set_sr_bit(SR_S, saturating);
    const unsigned n = reg(), m = reg();
    R[n] = 0x1000 + rng() % 0x7F0000;  // apart from R[m], unaligned allowed
    R[m] = 0x800000 + rng() % 0x7F0000;
    const u32 a_at = R[n], b_at = n == m ? R[n] + size : R[m];
    const u32 a = word ? operand(rng) & 0xFFFF : operand(rng), b = word ? operand(rng) & 0xFFFF : operand(rng);
    put_bytes(a_at, a, size);
    put_bytes(b_at, b, size);
    const i64 p = word ? i64{static_cast<std::int16_t>(a)} * static_cast<std::int16_t>(b)
                       : i64{static_cast<std::int32_t>(a)} * static_cast<std::int32_t>(b);

    sh2_registers want = sh2_state;
    want.R[n] += size;
    want.R[m] += size;  // the same register again when m = n
    want.PC += 2;
    int outcome = 0;
    if (!saturating) {
      want.MACL = static_cast<u32>(mac() + static_cast<u64>(p));
      want.MACH = static_cast<u32>((mac() + static_cast<u64>(p)) >> 32);
    } else if (word) {
      const i64 sum = i64{static_cast<std::int32_t>(sh2_state.MACL)} + p;
      outcome = sum > INT32_MAX ? 1 : sum < INT32_MIN ? 2 : 0;
      want.MACL = outcome == 1 ? 0x7FFFFFFF : outcome == 2 ? 0x80000000 : static_cast<u32>(sum);
    } else {
      const i64 sum = i64{static_cast<std::int16_t>(sh2_state.MACH)} * (i64{1} << 32) + sh2_state.MACL + p;
      outcome = sum >= i64{1} << 47 ? 1 : sum < -(i64{1} << 47) ? 2 : 0;
      want.MACH = outcome == 1 ? 0x7FFF : outcome == 2 ? 0x8000 : static_cast<u32>(sum >> 32);
      want.MACL = outcome == 1 ? 0xFFFFFFFF : outcome == 2 ? 0 : static_cast<u32>(sum);
    }
    ++outcomes[word][saturating][outcome];
    step(word ? MAC_W(m, n) : MAC_L(m, n));
    ASSERT_EQ(registers(sh2_state), registers(want))
        << (word ? "MAC.W" : "MAC.L") << " S=" << saturating << std::hex << ' ' << a << ' ' << b;
  }
  for (int w = 0; w < 2; ++w)
    for (int o = 0; o < 3; ++o) EXPECT_GT(outcomes[w][1][o], 100) << "too few saturating cases of kind " << o;
}

TEST_F(divide_multiply, mac_examples_at_the_saturation_bounds) {
  const struct {
    std::uint16_t word;
    bool s;
    u32 mach, macl, x, y;  // x at Rn, y after it at Rm
    u32 want_mach, want_macl;
  } cases[] = {
      // u is the new MACH of MAC.L before clamping.
      {MAC_L(1, 2), 0, 0, 0, 3, 0xFFFFFFFC, 0xFFFFFFFF, 0xFFFFFFF4},
      {MAC_L(1, 2), 1, 0, 0, 0xFFFFFFFB, 1, 0xFFFFFFFF, 0xFFFFFFFB},
      {MAC_L(1, 2), 1, 0xFFFFFFFF, 0xFFFFFFFB, 0, 0, 0xFFFFFFFF, 0xFFFFFFFB},
      {MAC_L(1, 2), 1, 0xFFFFFFFF, 0xFFFFFFFB, 3, 1, 0xFFFFFFFF, 0xFFFFFFFE},
      {MAC_L(1, 2), 1, 0x7FFF, 0x10, 5, 1, 0x7FFF, 0x15},                  // u = 32767
      {MAC_L(1, 2), 1, 0x7FFF, 0xFFFFFFF0, 0x20, 1, 0x7FFF, 0xFFFFFFFF},   // u = 32768
      {MAC_L(1, 2), 1, 0xFFFF8000, 5, 0xFFFFFFFD, 1, 0xFFFF8000, 2},       // u = -32768
      {MAC_L(1, 2), 1, 0xFFFF8000, 0, 0xFFFFFFFF, 1, 0x00008000, 0},       // u = -32769
      {MAC_L(1, 2), 1, 0x00008000, 0, 0, 0, 0xFFFF8000, 0},                // h = -32768
      {MAC_L(1, 2), 1, 0x12340001, 0, 0, 0, 0x00000001, 0},                // h from bits 0-15
      {MAC_L(3, 3), 0, 0, 7, 2, 5, 0, 17},
      {MAC_W(1, 2), 1, 0x12345678, 0x40000000, 0x8000, 0x8000, 0x12345678, 0x7FFFFFFF},
      {MAC_W(1, 2), 1, 0x12345678, 0x80000000, 0xFFFF, 0x0001, 0x12345678, 0x80000000},
      {MAC_W(1, 2), 1, 0x12345678, 0x7FFFFFF0, 1, 1, 0x12345678, 0x7FFFFFF1},
      {MAC_W(1, 2), 0, 0, 0xFFFFFFFF, 1, 1, 1, 0},
      {MAC_W(1, 2), 0, 5, 0, 0xFFFF, 1, 4, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word << " S " << c.s << " " << c.mach << ':' << c.macl);
    const int size = c.word >> 12 == 4 ? 2 : 4;
    const unsigned n = c.word >> 8 & 0xF, m = c.word >> 4 & 0xF;
    sh2_state.SR = c.s ? SR_S : 0;
    sh2_state.MACH = c.mach;
    sh2_state.MACL = c.macl;
    R[n] = 0x100;
    R[m] = n == m ? 0x100 : 0x200;
    put_bytes(0x100, c.x, size);
    put_bytes(n == m ? 0x100 + size : 0x200, c.y, size);
    step(c.word);
    EXPECT_EQ(sh2_state.MACH, c.want_mach);
    EXPECT_EQ(sh2_state.MACL, c.want_macl);
    EXPECT_EQ(R[n], n == m ? 0x100u + 2 * size : 0x100u + size);
    EXPECT_EQ(R[m], n == m ? 0x100u + 2 * size : 0x200u + size);
  }
}

}  // namespace
