#include <array>
#include <set>

#include "cpu_fixture.h"
#include "cputest_runner.h"

namespace {

// The patterns' masks and matches as the instruction set lists them, row by
// row: the table writes them as bit strings, and this catches a slip in one.
struct documented_row {
  std::uint16_t mask, match;
  operand_format format;
};
constexpr std::array<documented_row, 55> documented = {{
    {0xFFFF, 0x0009, FORMAT_0},  {0xF00F, 0x300C, FORMAT_NM}, {0xF000, 0x7000, FORMAT_NI},
    {0xF00F, 0x300E, FORMAT_NM}, {0xF00F, 0x300F, FORMAT_NM}, {0xF00F, 0x2009, FORMAT_NM},
    {0xFF00, 0xC900, FORMAT_I},  {0xFF00, 0xCD00, FORMAT_I},  {0xFF00, 0x8B00, FORMAT_D},
    {0xFF00, 0x8F00, FORMAT_D},  {0xFF00, 0x8900, FORMAT_D},  {0xFF00, 0x8D00, FORMAT_D},
    {0xFFFF, 0x0028, FORMAT_0},  {0xFFFF, 0x0008, FORMAT_0},  {0xF00F, 0x3000, FORMAT_NM},
    {0xF00F, 0x3003, FORMAT_NM}, {0xF00F, 0x3007, FORMAT_NM}, {0xF00F, 0x3006, FORMAT_NM},
    {0xF00F, 0x3002, FORMAT_NM}, {0xF0FF, 0x4015, FORMAT_N},  {0xF0FF, 0x4011, FORMAT_N},
    {0xF00F, 0x200C, FORMAT_NM}, {0xFF00, 0x8800, FORMAT_I},  {0xF00F, 0x2007, FORMAT_NM},
    {0xFFFF, 0x0019, FORMAT_0},  {0xF00F, 0x3004, FORMAT_NM}, {0xF00F, 0x300D, FORMAT_NM},
    {0xF00F, 0x3005, FORMAT_NM}, {0xF0FF, 0x4010, FORMAT_N},  {0xF00F, 0x600E, FORMAT_NM},
    {0xF00F, 0x600F, FORMAT_NM}, {0xF00F, 0x600C, FORMAT_NM}, {0xF00F, 0x600D, FORMAT_NM},
    {0xFFFF, 0x001B, FORMAT_0},  {0xF000, 0xA000, FORMAT_D12}, {0xF0FF, 0x0023, FORMAT_M},
    {0xF000, 0xB000, FORMAT_D12}, {0xF0FF, 0x0003, FORMAT_M}, {0xF0FF, 0x402B, FORMAT_M},
    {0xF0FF, 0x400B, FORMAT_M},  {0xF0FF, 0x400E, FORMAT_M},  {0xF0FF, 0x401E, FORMAT_M},
    {0xF0FF, 0x402E, FORMAT_M},  {0xF0FF, 0x4007, FORMAT_M},  {0xF0FF, 0x4017, FORMAT_M},
    {0xF0FF, 0x4027, FORMAT_M},  {0xF0FF, 0x400A, FORMAT_M},  {0xF0FF, 0x401A, FORMAT_M},
    {0xF0FF, 0x402A, FORMAT_M},  {0xF0FF, 0x4006, FORMAT_M},  {0xF0FF, 0x4016, FORMAT_M},
    {0xF0FF, 0x4026, FORMAT_M},  {0xF00F, 0x000F, FORMAT_NM}, {0xF00F, 0x400F, FORMAT_NM},
    {0xF00F, 0x0004, FORMAT_NM},
}};

using namespace sh2_asm;
using decoder = cpu_test;

TEST_F(decoder, rows_carry_the_documented_masks_matches_and_formats) {
  ASSERT_EQ(opcode_table.size(), documented.size());
  for (std::size_t i = 0; i < documented.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(opcode_table[i].mask, documented[i].mask);
    EXPECT_EQ(opcode_table[i].match, documented[i].match);
    EXPECT_EQ(opcode_table[i].format, documented[i].format);
  }
}

TEST_F(decoder, every_word_belongs_to_at_most_one_row_and_decodes_to_it) {
  std::set<handler_fn> handlers;
  for (const auto& row : opcode_table) handlers.insert(row.handler);
  EXPECT_EQ(handlers.size(), opcode_table.size()) << "each row has its own handler";

  for (std::uint32_t word = 0; word <= 0xFFFF; ++word) {
    const opcode_row* owner = nullptr;
    for (const auto& row : opcode_table) {
      if ((word & row.mask) != row.match) continue;
      ASSERT_EQ(owner, nullptr) << std::hex << "word " << word << " matches two rows";
      owner = &row;
    }
    const row_number entry = decode_table[word];
    if (owner == nullptr) {
      ASSERT_EQ(entry, 0) << std::hex << word;
    } else {
      ASSERT_EQ(entry, owner - opcode_table.data() + 1) << std::hex << word;
    }
    ASSERT_EQ(row_handlers[entry], decode_lookup(word).handler) << std::hex << word;
  }
}

TEST_F(decoder, counts_line_gives_the_implemented_and_covered_words) {
  build_decode_table();
  out::flush();
  EXPECT_EQ(printed, cputest_counts);
}

TEST_F(decoder, sample_words) {
  const struct {
    std::uint16_t word;
    handler_fn handler;
  } cases[] = {
      {0x0000, invalid_opcode}, {0xFFFF, invalid_opcode}, {0xE000, invalid_opcode}, {0x000B, invalid_opcode},
      {NOP(), opcode_table[0].handler}, {ADD_imm(0xFF, 15), opcode_table[2].handler},
      {ADD(0, 15), opcode_table[1].handler},
  };
  for (const auto& c : cases) EXPECT_EQ(decode_lookup(c.word).handler, c.handler) << std::hex << c.word;
}

TEST_F(decoder, invalid_opcode_dumps_the_registers_and_halts_without_changing_them) {
  for (unsigned i = 0; i < 16; ++i) sh2_state.R[i] = 0x01010101u * i;
  sh2_state.PC = 0x1234;
  sh2_state.PR = 0xCAFEBABE;
  sh2_state.SR = 0x301;  // M, Q and T
  sh2_state.MACH = 0x89ABCDEF;
  sh2_state.MACL = 0x76543210;
  sh2_state.GBR = 0x00C0FFEE;
  sh2_state.VBR = 0x0BADF00D;
  const sh2_registers before = sh2_state;

  EXPECT_EQ(step(0xFFFF),
            "Invalid opcode (FFFF)!\n"
            "R0: 00000000 R1: 01010101 R2: 02020202 R3: 03030303 R4: 04040404\n"
            "R5: 05050505 R6: 06060606 R7: 07070707 R8: 08080808 R9: 09090909\n"
            "R10: 0A0A0A0A R11: 0B0B0B0B R12: 0C0C0C0C\n"
            "R13: 0D0D0D0D R14: 0E0E0E0E R15: 0F0F0F0F\n"
            "PC: 00001234  PR: CAFEBABE\n"
            "SR: 00000301 M: 1 Q: 1 S: 0 T: 1\n"
            "MACH: 89ABCDEF\tMACL: 76543210\n"
            "GBR: 00C0FFEE\tVBR: 0BADF00D\n");
  EXPECT_EQ(sh2_state.halt_flag, 1);
  EXPECT_EQ(sh2_state.R, before.R);
  EXPECT_EQ(sh2_state.PC, before.PC);
}

// The countdown: armed at 2 by the branch's own step, so the branch's step
// leaves 1, the slot's step fires, and nothing fires after that.
TEST_F(decoder, delayed_branch_fires_once_after_exactly_one_instruction) {
  load_words({BRA(2), NOP(), NOP(), NOP(), NOP()});  // to 8
  step(BRA(2));
  EXPECT_EQ(sh2_state.PC, 2u);
  EXPECT_EQ(sh2_state.delay_countdown, 1);
  EXPECT_EQ(sh2_state.branch_target, 8u);
  step(NOP());
  EXPECT_EQ(sh2_state.PC, 8u);
  EXPECT_EQ(sh2_state.delay_countdown, 0);
  for (int i = 0; i < 3; ++i) step(NOP());
  EXPECT_EQ(sh2_state.PC, 14u) << "a fired branch must not fire again";
}

TEST_F(decoder, sleep_repeats_and_a_pending_branch_still_fires_after_it) {
  EXPECT_EQ(step(SLEEP()), "SLEEP\n");
  EXPECT_EQ(sh2_state.PC, 0u);
  load_words({BRA(0x10), SLEEP()});  // SLEEP in the slot
  step(BRA(0x10));
  step(SLEEP());
  EXPECT_EQ(sh2_state.PC, 0x24u);
}

}  // namespace
