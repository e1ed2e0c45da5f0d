// Through the cputest binary: straight-line code whose byte stores show up in
// the trace because they rewrite instructions further on.
#include <gtest/gtest.h>

#include "cputest_runner.h"

namespace {

using namespace sh2_asm;

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
                       listing_trace({
                           {ADD_imm(0x10, 0), "ADD $10, R0"},
                           {AND_B(0xF), "AND.B $F, @(R0, GBR)"},
                           {ADD_imm(0x12, 1), "ADD $12, R1"},
                           {ADD_imm(2, 2), "ADD $2, R2"},
                           {MOV_B_R0(1, 2), "MOV.B R1, @(R0, R2)"},
                           {NOP(), "NOP"},
                           {NOP(), "NOP"},
                           {NOP(), "NOP"},
                           {ADD_imm(0xF, 1), "ADD $F, R1"},   // as rewritten
                           {ADD_imm(0x12, 3), "ADD $12, R3"},
                       }) +
                       halt_line(0x0000, {.R = {0x10, 0x21, 2, 0x12}, .PC = 0x14}));
}

}  // namespace
