// The trace text of every row, in-process and through the cputest binary: one
// program runs each word in the delay slot of a BRA to the word after the
// slot, so that the whole table traces straight through, branches too. Where
// a word is itself a delayed branch, the next BRA in its slot re-arms before
// the word's own target is reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cpu_fixture.h"
#include "cputest_runner.h"

namespace {

using namespace sh2_asm;

// Register fields differ and run past 9 wherever an instruction has them, so
// that a swapped or misread field shows.
const listing texts = {
    {NOP(), "NOP"}, {ADD(5, 10), "ADD R5, R10"}, {ADD_imm(0xFF, 15), "ADD $FF, R15"},
    {ADD_imm(0x7F, 14), "ADD $7F, R14"}, {ADDC(13, 12), "ADDC R13, R12"}, {ADDV(2, 1), "ADDV R2, R1"},
    {AND(0, 15), "AND R0, R15"}, {AND_imm(0x80), "AND $80, R0"}, {AND_B(0xF), "AND.B $F, @(R0, GBR)"},
    {BF(-2), "BF $FFFFFFFE (-2)"}, {BF_S(127), "BF/S $7F (127)"}, {BT(5), "BT $5 (5)"},
    {BT_S(-128), "BT/S $FFFFFF80 (-128)"}, {CLRMAC(), "CLRMAC"}, {CLRT(), "CLRT"}, {CMP_EQ(2, 1), "CMP/EQ R2, R1"},
    {CMP_GE(5, 4), "CMP/GE R5, R4"}, {CMP_GT(7, 6), "CMP/GT R7, R6"}, {CMP_HI(9, 8), "CMP/HI R9, R8"},
    {CMP_HS(11, 10), "CMP/HS R11, R10"}, {CMP_PL(12), "CMP/PL R12"}, {CMP_PZ(13), "CMP/PZ R13"},
    {CMP_STR(15, 14), "CMP/STR R15, R14"}, {CMP_EQ_imm(0xFF), "CMP/IM $FF, R0"}, {DIV0S(1, 2), "DIV0S R1, R2"},
    {DIV0U(), "DIV0U"}, {DIV1(11, 10), "DIV1 R11, R10"}, {DMULS(13, 12), "DMULS R13, R12"},
    {DMULU(15, 14), "DMULU R15, R14"}, {DT(11), "DT R11"}, {EXTS_B(2, 1), "EXTSB R2, R1"},
    {EXTS_W(4, 3), "EXTSW R4, R3"}, {EXTU_B(6, 5), "EXTUB R6, R5"}, {EXTU_W(8, 7), "EXTUW R8, R7"},
    {SLEEP(), "SLEEP"}, {BRA(-2), "BRA $FFFFFFFE (4294967294)"}, {BRA(2047), "BRA $7FF (2047)"},
    {BRAF(2), "BRAF @R2"}, {BSR(-2048), "BSR $FFFFF800 (-2048)"}, {BSRF(15), "BSRF @R15"}, {JMP(3), "JMP @R3"},
    {JSR(14), "JSR @R14"}, {LDC_SR(10), "LDC R10, SR"}, {LDC_GBR(11), "LDC R11, GBR"},
    {LDC_VBR(12), "LDC R12, VBR"}, {LDC_L_SR(13), "LDC.L @R13+, SR"}, {LDC_L_GBR(14), "LDC.L @R14+, GBR"},
    {LDC_L_VBR(15), "LDC.L @R15+, VBR"}, {LDS_MACH(0), "LDS R0, MACH"}, {LDS_MACL(1), "LDS R1, MACL"},
    {LDS_PR(2), "LDS R2, PR"}, {LDS_L_MACH(3), "LDS.L @R3, MACH"}, {LDS_L_MACL(4), "LDS.L @R4, MACL"},
    {LDS_L_PR(15), "LDS.L @R15, PR"}, {MAC_L(1, 2), "MAC.L @R1+, @R2+"}, {MAC_W(12, 11), "MAC.W @R12+, @R11+"},
    {MOV_B_R0(9, 10), "MOV.B R9, @(R0, R10)"},
};

// Each word of the table after a BRA $0, which goes on past the word's slot.
const listing program = [] {
  listing code;
  for (const auto& row : texts) {
    code.push_back({BRA(0), "BRA $0 (0)"});
    code.push_back(row);
  }
  return code;
}();

using instruction_texts = cpu_test;

TEST_F(instruction_texts, every_row_prints_its_text) {
  std::set<row_number> rows;
  for (const auto& row : texts) rows.insert(decode_table[row.word]);
  EXPECT_EQ(rows.size(), opcode_table.size()) << "a word of every row";
  EXPECT_EQ(rows.count(0), 0u);
  const std::string bytes = listing_bytes(program);
  std::copy(bytes.begin(), bytes.end(), sh2_memory.begin());
  EXPECT_EQ(run(2 * static_cast<std::uint32_t>(program.size())), listing_trace(program));
}

TEST(instruction_texts_e2e, every_row_prints_its_text_through_cputest) {
  expect_trace(listing_bytes(program), listing_trace(program));
}

}  // namespace
