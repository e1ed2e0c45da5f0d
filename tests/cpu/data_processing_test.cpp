// The data-processing instructions in-process, each checked against a
// formulation of its own: 64-bit sums for the carry and the overflow, 64-bit
// comparisons, casts for the extensions, a byte-by-byte look for CMP/STR.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>

#include "cpu_fixture.h"

namespace {

using namespace sh2_asm;
using u32 = std::uint32_t;

// A register read as a two's complement number, worked out without a cast.
std::int64_t signed_value(u32 v) { return v < 0x80000000u ? std::int64_t{v} : std::int64_t{v} - 0x100000000; }

struct outcome {
  u32 rn;
  bool t;
};

// Where a form takes its operand x: Rm (nm), Rn itself (n), or the 8-bit
// immediate with Rn (ni) or R0 (i).
enum class fields { nm, n, ni, i };

struct form {
  const char* mnemonic;
  isa::bit_pattern instruction;
  fields kind;
  outcome (*expected)(u32 rn, u32 x, bool t);  // the new Rn and T
};

u32 sign_extended(u32 v, int bits) { return v >= 1u << (bits - 1) ? v | ~0u << bits : v; }

const form forms[] = {
    {"ADD", ADD, fields::nm, [](u32 n, u32 m, bool t) { return outcome{n + m, t}; }},
    {"ADD", ADD_imm, fields::ni, [](u32 n, u32 i, bool t) { return outcome{n + sign_extended(i, 8), t}; }},
    {"ADDC", ADDC, fields::nm,
     [](u32 n, u32 m, bool t) {
       const std::uint64_t sum = std::uint64_t{n} + m + t;
       return outcome{static_cast<u32>(sum), sum > 0xFFFFFFFFu};
     }},
    {"ADDV", ADDV, fields::nm,
     [](u32 n, u32 m, bool) {
       const std::int64_t sum = signed_value(n) + signed_value(m);
       return outcome{n + m, sum < -0x80000000LL || sum > 0x7FFFFFFF};
     }},
    {"AND", AND, fields::nm, [](u32 n, u32 m, bool t) { return outcome{n & m, t}; }},
    {"AND", AND_imm, fields::i, [](u32 n, u32 i, bool t) { return outcome{n & i, t}; }},
    {"CMP/EQ", CMP_EQ, fields::nm, [](u32 n, u32 m, bool) { return outcome{n, n == m}; }},
    {"CMP/IM", CMP_EQ_imm, fields::i,
     [](u32 n, u32 i, bool) { return outcome{n, signed_value(n) == static_cast<std::int8_t>(i)}; }},
    {"CMP/GE", CMP_GE, fields::nm, [](u32 n, u32 m, bool) { return outcome{n, signed_value(n) >= signed_value(m)}; }},
    {"CMP/GT", CMP_GT, fields::nm, [](u32 n, u32 m, bool) { return outcome{n, signed_value(n) > signed_value(m)}; }},
    {"CMP/HI", CMP_HI, fields::nm, [](u32 n, u32 m, bool) { return outcome{n, std::uint64_t{n} > m}; }},
    {"CMP/HS", CMP_HS, fields::nm, [](u32 n, u32 m, bool) { return outcome{n, std::uint64_t{n} >= m}; }},
    {"CMP/STR", CMP_STR, fields::nm,
     [](u32 n, u32 m, bool) {
       bool same = false;
       for (int shift = 0; shift < 32; shift += 8) same |= ((n >> shift) & 0xFF) == ((m >> shift) & 0xFF);
       return outcome{n, same};
     }},
    {"CMP/PL", CMP_PL, fields::n, [](u32 n, u32, bool) { return outcome{n, signed_value(n) > 0}; }},
    {"CMP/PZ", CMP_PZ, fields::n, [](u32 n, u32, bool) { return outcome{n, signed_value(n) >= 0}; }},
    {"DT", DT, fields::n, [](u32 n, u32, bool) { return outcome{n - 1, n == 1}; }},
    {"EXTSB", EXTS_B, fields::nm,
     [](u32, u32 m, bool t) { return outcome{static_cast<u32>(static_cast<std::int8_t>(m)), t}; }},
    {"EXTSW", EXTS_W, fields::nm,
     [](u32, u32 m, bool t) { return outcome{static_cast<u32>(static_cast<std::int16_t>(m)), t}; }},
    {"EXTUB", EXTU_B, fields::nm, [](u32, u32 m, bool t) { return outcome{static_cast<std::uint8_t>(m), t}; }},
    {"EXTUW", EXTU_W, fields::nm, [](u32, u32 m, bool t) { return outcome{static_cast<std::uint16_t>(m), t}; }},
};

const u32 boundaries[] = {0,      1,          2,          0x7F,       0x80,       0xFF,       0x7FFF,
                          0x8000, 0xFFFF,     0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};

class data_processing : public cpu_test {
 protected:
  std::mt19937 rng{0x5EED};

  u32 operand() { return rng() % 2 ? boundaries[rng() % std::size(boundaries)] : static_cast<u32>(rng()); }

  // A value near another: equal, one off, or sharing some bytes with it, so
  // that every compare and CMP/STR sees both outcomes often.
  u32 partner(u32 a) {
    switch (rng() % 4) {
      case 0: return operand();
      case 1: return a + rng() % 3 - 1;
      default: {
        u32 flip = 0;
        for (int shift = 0; shift < 32; shift += 8)
          if (rng() % 3 != 0) flip |= (1 + rng() % 255) << shift;
        return a ^ flip;
      }
    }
  }

  // Random registers, SR bits and PC around the operands, so that a handler
  // touching anything else shows.
  void check(const form& f) {
    int results[2] = {};
    for (int i = 0; i < 20000; ++i) {
      for (auto& r : sh2_state.R) r = rng();
      sh2_state.SR = rng() & SR_WRITABLE;
      sh2_state.PC = rng() & 0xFFFFFE;
      const unsigned n = f.kind == fields::i ? 0 : rng() % 16, m = f.kind == fields::nm ? rng() % 16 : n;
      const u32 imm = rng() % 256;
      const bool immediate = f.kind == fields::ni || f.kind == fields::i;
      sh2_state.R[m] = operand();
      sh2_state.R[n] = partner(immediate ? sign_extended(imm, 8) : sh2_state.R[m]);  // n = m: one operand
      const sh2_registers before = sh2_state;
      const outcome want = f.expected(before.R[n], immediate ? imm : before.R[m], before.SR & SR_T);
      ++results[want.t];

      char text[32];
      std::uint16_t word;
      if (immediate) {
        word = f.kind == fields::i ? f.instruction(imm) : f.instruction(imm, n);
        std::snprintf(text, sizeof text, "%s $%X, R%u\n", f.mnemonic, imm, n);
      } else if (f.kind == fields::nm) {
        word = f.instruction(m, n);
        std::snprintf(text, sizeof text, "%s R%u, R%u\n", f.mnemonic, m, n);
      } else {
        word = f.instruction(n);
        std::snprintf(text, sizeof text, "%s R%u\n", f.mnemonic, n);
      }
      ASSERT_EQ(step(word), text);

      auto registers = before.R;
      registers[n] = want.rn;
      ASSERT_EQ(sh2_state.R, registers) << std::hex << "Rn " << before.R[n] << " Rm " << before.R[m];
      ASSERT_EQ(sh2_state.SR, (before.SR & ~SR_T) | want.t) << std::hex << before.R[n] << ", " << before.R[m];
      ASSERT_EQ(sh2_state.PC, before.PC + 2);
    }
    EXPECT_GT(results[0], 100);
    EXPECT_GT(results[1], 100);
  }
};

TEST_F(data_processing, agree_with_independent_arithmetic) {
  for (const auto& f : forms) {
    SCOPED_TRACE(testing::Message() << f.mnemonic << " " << std::hex << f.instruction.match());
    check(f);
  }
}

// Worked examples, so that a slip shared by an oracle and a handler shows.
TEST_F(data_processing, worked_examples) {
  const struct {
    std::uint16_t word;  // Rn is R1, Rm is R2 where there is one
    u32 rn, rm;
    bool t;
    u32 new_rn;
    bool new_t;
  } cases[] = {
      {ADDC(2, 1), 0xFFFFFFFF, 0, 1, 0, 1},
      {ADDC(2, 1), 1, 2, 1, 4, 0},
      {ADDC(2, 1), 0xFFFFFFFF, 0xFFFFFFFF, 1, 0xFFFFFFFF, 1},
      {ADDV(2, 1), 0x7FFFFFFF, 1, 0, 0x80000000, 1},
      {ADDV(2, 1), 0x80000000, 0xFFFFFFFF, 0, 0x7FFFFFFF, 1},
      {ADDV(2, 1), 0xFFFFFFFF, 1, 1, 0, 0},
      {CMP_GE(2, 1), 0xFFFFFFFF, 1, 1, 0xFFFFFFFF, 0},  // -1 < 1
      {CMP_HI(2, 1), 0xFFFFFFFF, 1, 0, 0xFFFFFFFF, 1},  // unsigned
      {CMP_STR(2, 1), 0x41424344, 0x00000044, 0, 0x41424344, 1},
      {CMP_STR(2, 1), 0x01020304, 0x10203040, 1, 0x01020304, 0},
      {DT(1), 0, 0, 1, 0xFFFFFFFF, 0},
      {EXTS_B(2, 1), 0, 0x00000080, 0, 0xFFFFFF80, 0},
      {EXTS_W(2, 1), 0, 0xABCD7FFF, 0, 0x00007FFF, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word << " " << c.rn << " " << c.rm);
    sh2_state.R[1] = c.rn;
    sh2_state.R[2] = c.rm;
    set_T(c.t);
    step(c.word);
    EXPECT_EQ(sh2_state.R[1], c.new_rn);
    EXPECT_EQ(sh2_state.R[2], c.rm);
    EXPECT_EQ(T(), c.new_t);
  }
}

// The byte stores change exactly one byte and no register or flag.
TEST_F(data_processing, byte_stores_change_one_byte) {
  const struct {
    std::uint16_t word;
    const char* text;
    u32 r0, r2, gbr;
    u32 address;
    std::uint8_t old_byte, new_byte;
  } cases[] = {
      {AND_B(0xF), "AND.B $F, @(R0, GBR)\n", 0x100, 0, 0x23, 0x123, 0xA5, 0x05},
      {AND_B(0xF), "AND.B $F, @(R0, GBR)\n", 0xFFFFFFF0, 0, 0x20, 0x10, 0xA5, 0x05},  // wraps
      {AND_B(0xFF), "AND.B $FF, @(R0, GBR)\n", 0x40, 0, 0, 0x40, 0x3C, 0x3C},
      {MOV_B_R0(3, 2), "MOV.B R3, @(R0, R2)\n", 0x100, 0x20, 0, 0x120, 0, 0x78},
      {MOV_B_R0(3, 2), "MOV.B R3, @(R0, R2)\n", 0xFFFFFFFF, 0x11, 0, 0x10, 0, 0x78},  // wraps
      {MOV_B_R0(3, 0), "MOV.B R3, @(R0, R0)\n", 0x80, 0, 0, 0x100, 0, 0x78},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetUp();
    sh2_state.R[0] = c.r0;
    sh2_state.R[2] = c.r2;
    sh2_state.R[3] = 0x12345678;
    sh2_state.GBR = c.gbr;
    sh2_state.SR = 0x3F3;
    sh2_memory[c.address - 1] = 0x11;
    sh2_memory[c.address] = c.old_byte;
    sh2_memory[c.address + 1] = 0x22;
    const sh2_registers before = sh2_state;

    EXPECT_EQ(step(c.word), c.text);
    EXPECT_EQ(sh2_memory[c.address], c.new_byte);
    EXPECT_EQ(sh2_memory[c.address - 1], 0x11);
    EXPECT_EQ(sh2_memory[c.address + 1], 0x22);
    EXPECT_EQ(std::count(sh2_memory.begin(), sh2_memory.end(), 0), std::ptrdiff_t{memory_size - 3});
    EXPECT_EQ(sh2_state.R, before.R);
    EXPECT_EQ(sh2_state.GBR, before.GBR);
    EXPECT_EQ(sh2_state.SR, before.SR);
  }
}

TEST_F(data_processing, operandless_instructions) {
  const struct {
    std::uint16_t word;
    const char* text;
    u32 sr, mach, macl, pc;
  } cases[] = {
      {NOP(), "NOP\n", 0x3F3, 0x89ABCDEF, 0x76543210, 0x102},
      {CLRT(), "CLRT\n", 0x3F2, 0x89ABCDEF, 0x76543210, 0x102},
      {CLRMAC(), "CLRMAC\n", 0x3F3, 0, 0, 0x102},
      {SLEEP(), "SLEEP\n", 0x3F3, 0x89ABCDEF, 0x76543210, 0x100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetUp();
    for (unsigned i = 0; i < 16; ++i) sh2_state.R[i] = 0x11111111u * i;
    sh2_state.SR = 0x3F3;
    sh2_state.MACH = 0x89ABCDEF;
    sh2_state.MACL = 0x76543210;
    sh2_state.PC = 0x100;
    const sh2_registers before = sh2_state;

    EXPECT_EQ(step(c.word), c.text);
    EXPECT_EQ(sh2_state.SR, c.sr);
    EXPECT_EQ(sh2_state.MACH, c.mach);
    EXPECT_EQ(sh2_state.MACL, c.macl);
    EXPECT_EQ(sh2_state.PC, c.pc);
    EXPECT_EQ(sh2_state.R, before.R);
  }
}

}  // namespace
