// Through the cputest binary: the trace text of every data-processing and
// branch instruction, and straight-line code whose byte stores show up in the
// trace because they rewrite instructions further on.
#include <gtest/gtest.h>

#include "cputest_runner.h"

namespace {

using namespace sh2_asm;

// Register fields differ and run past 9 wherever an instruction has them, so
// that a swapped or misread field shows.
TEST(instruction_texts, each_word_traces_with_its_text) {
  const struct {
    std::uint16_t word;
    const char* text;
  } cases[] = {
      {NOP(), "NOP"},
      {ADD(5, 10), "ADD R5, R10"},
      {ADD_imm(0xFF, 15), "ADD $FF, R15"},
      {ADD_imm(0x7F, 14), "ADD $7F, R14"},
      {ADDC(13, 12), "ADDC R13, R12"},
      {ADDV(2, 1), "ADDV R2, R1"},
      {AND(0, 15), "AND R0, R15"},
      {AND_imm(0x80), "AND $80, R0"},
      {AND_B(0xF), "AND.B $F, @(R0, GBR)"},
      {CLRMAC(), "CLRMAC"},
      {CLRT(), "CLRT"},
      {CMP_EQ(2, 1), "CMP/EQ R2, R1"},
      {CMP_GE(5, 4), "CMP/GE R5, R4"},
      {CMP_GT(7, 6), "CMP/GT R7, R6"},
      {CMP_HI(9, 8), "CMP/HI R9, R8"},
      {CMP_HS(11, 10), "CMP/HS R11, R10"},
      {CMP_PL(12), "CMP/PL R12"},
      {CMP_PZ(13), "CMP/PZ R13"},
      {CMP_STR(15, 14), "CMP/STR R15, R14"},
      {CMP_EQ_imm(0xFF), "CMP/IM $FF, R0"},
      {DT(11), "DT R11"},
      {EXTS_B(2, 1), "EXTSB R2, R1"},
      {EXTS_W(4, 3), "EXTSW R4, R3"},
      {EXTU_B(6, 5), "EXTUB R6, R5"},
      {EXTU_W(8, 7), "EXTUW R8, R7"},
      {SLEEP(), "SLEEP"},
      {MOV_B_R0(9, 10), "MOV.B R9, @(R0, R10)"},
      {BF(-2), "BF $FFFFFFFE (-2)"},
      {BF_S(127), "BF/S $7F (127)"},
      {BT(5), "BT $5 (5)"},
      {BT_S(-128), "BT/S $FFFFFF80 (-128)"},
      {BRA(-2), "BRA $FFFFFFFE (4294967294)"},
      {BRA(2047), "BRA $7FF (2047)"},
      {BRAF(2), "BRAF @R2"},
      {BSR(-2048), "BSR $FFFFF800 (-2048)"},
      {BSRF(15), "BSRF @R15"},
      {JMP(3), "JMP @R3"},
      {JSR(14), "JSR @R14"},
  };
  for (const auto& c : cases) {
    const std::string line = trace_prefix(0, c.word) + c.text + "\n";
    SCOPED_TRACE(line);
    // Some of these never end by themselves (SLEEP, BF to itself): the first
    // line is all that is read.
    test_support::run_options options;
    options.max_output = cputest_header.size() + line.size();
    const auto r = run_cputest(program_bytes({c.word}), options);
    EXPECT_EQ(r.out.substr(0, options.max_output), cputest_header + line);
  }
}

// AND.B turns the ADD $FF at 0x10 into ADD $F; MOV.B writes R1's low byte
// into the immediate of the ADD at 0x12. Both show in the trace.
TEST(data_processing_e2e, byte_stores_rewrite_later_instructions) {
  const auto r = run_cputest(program_bytes({
      ADD_imm(0x10, 0),  // 00: R0 = 0x10
      AND_B(0xF),        // 02: byte at R0 + GBR = 0x10 AND= 0x0F
      ADD_imm(0x12, 1),  // 04: R1 = 0x12
      ADD_imm(2, 2),     // 06: R2 = 2
      MOV_B_R0(1, 2),    // 08: byte at R0 + R2 = 0x12 = R1
      NOP(), NOP(), NOP(),
      ADD_imm(0xFF, 1),  // 10: ADD $FF, R1 as loaded
      ADD_imm(0, 3),     // 12: ADD $0, R3 as loaded
      0x0000,
  }));
  EXPECT_EQ(r.out, cputest_header +
                       "00000000 7010: ADD $10, R0\n"
                       "00000002 CD0F: AND.B $F, @(R0, GBR)\n"
                       "00000004 7112: ADD $12, R1\n"
                       "00000006 7202: ADD $2, R2\n"
                       "00000008 0214: MOV.B R1, @(R0, R2)\n"
                       "0000000A 0009: NOP\n"
                       "0000000C 0009: NOP\n"
                       "0000000E 0009: NOP\n"
                       "00000010 710F: ADD $F, R1\n"
                       "00000012 7312: ADD $12, R3\n"
                       "00000014 0000: " +
                       register_dump(0x0000, {.R = {0x10, 0x21, 2, 0x12}, .PC = 0x14}));
}

}  // namespace
