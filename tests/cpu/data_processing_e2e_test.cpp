// Through the cputest binary: the trace text of every data-processing and
// branch instruction, and straight-line code whose byte stores show up in the
// trace because they rewrite instructions further on.
#include <gtest/gtest.h>

#include <cstdio>

#include "cputest_runner.h"

namespace {

// Register fields differ and run past 9 wherever an instruction has them, so
// that a swapped or misread field shows.
TEST(instruction_texts, each_word_traces_with_its_text) {
  const struct {
    std::uint16_t word;
    const char* text;
  } cases[] = {
      {0x0009, "NOP"},
      {0x3A5C, "ADD R5, R10"},
      {0x7FFF, "ADD $FF, R15"},
      {0x7E7F, "ADD $7F, R14"},
      {0x3CDE, "ADDC R13, R12"},
      {0x312F, "ADDV R2, R1"},
      {0x2F09, "AND R0, R15"},
      {0xC980, "AND $80, R0"},
      {0xCD0F, "AND.B $F, @(R0, GBR)"},
      {0x0028, "CLRMAC"},
      {0x0008, "CLRT"},
      {0x3120, "CMP/EQ R2, R1"},
      {0x3453, "CMP/GE R5, R4"},
      {0x3677, "CMP/GT R7, R6"},
      {0x3896, "CMP/HI R9, R8"},
      {0x3AB2, "CMP/HS R11, R10"},
      {0x4C15, "CMP/PL R12"},
      {0x4D11, "CMP/PZ R13"},
      {0x2EFC, "CMP/STR R15, R14"},
      {0x88FF, "CMP/IM $FF, R0"},
      {0x4B10, "DT R11"},
      {0x612E, "EXTSB R2, R1"},
      {0x634F, "EXTSW R4, R3"},
      {0x656C, "EXTUB R6, R5"},
      {0x678D, "EXTUW R8, R7"},
      {0x001B, "SLEEP"},
      {0x0A94, "MOV.B R9, @(R0, R10)"},
      {0x8BFE, "BF $FFFFFFFE (-2)"},
      {0x8F7F, "BF/S $7F (127)"},
      {0x8905, "BT $5 (5)"},
      {0x8D80, "BT/S $FFFFFF80 (-128)"},
      {0xAFFE, "BRA $FFFFFFFE (4294967294)"},
      {0xA7FF, "BRA $7FF (2047)"},
      {0x0223, "BRAF @R2"},
      {0xB800, "BSR $FFFFF800 (-2048)"},
      {0x0F03, "BSRF @R15"},
      {0x432B, "JMP @R3"},
      {0x4E0B, "JSR @R14"},
  };
  for (const auto& c : cases) {
    char line[64];
    std::snprintf(line, sizeof line, "00000000 %04X: %s\n", c.word, c.text);
    SCOPED_TRACE(line);
    // Some of these never end by themselves (SLEEP, BF to itself): the first
    // line is all that is read.
    test_support::run_options options;
    options.max_output = cputest_header.size() + std::string(line).size();
    const auto r = run_cputest(words({c.word}), options);
    EXPECT_EQ(r.out.substr(0, options.max_output), cputest_header + line);
  }
}

// AND.B turns the ADD $FF at 0x10 into ADD $F; MOV.B writes R1's low byte
// into the immediate of the ADD at 0x12. Both show in the trace.
TEST(data_processing_e2e, byte_stores_rewrite_later_instructions) {
  const auto r = run_cputest(words({
      0x7010,  // 00: R0 = 0x10
      0xCD0F,  // 02: byte at R0 + GBR = 0x10 AND= 0x0F
      0x7112,  // 04: R1 = 0x12
      0x7202,  // 06: R2 = 2
      0x0214,  // 08: byte at R0 + R2 = 0x12 = R1
      0x0009, 0x0009, 0x0009,
      0x71FF,  // 10: ADD $FF, R1 as loaded
      0x7300,  // 12: ADD $0, R3 as loaded
      0x0000,
  }));
  dump_values v;
  v.R[0] = 0x10;
  v.R[1] = 0x21;
  v.R[2] = 2;
  v.R[3] = 0x12;
  v.PC = 0x14;
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
                       register_dump(0x0000, v));
}

}  // namespace
