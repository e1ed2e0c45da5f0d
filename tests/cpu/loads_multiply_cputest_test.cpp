// Small programs through the real cputest binary: register loads whose effects
// the closing register dump (at a 0x0000 word) shows, and byte stores that
// rewrite the code ahead.
#include <gtest/gtest.h>

#include <vector>

#include "cputest_runner.h"

namespace {

using namespace sh2_asm;

TEST(cputest_loads_multiply, load_programs_leave_the_registers_the_dump_shows) {
  const auto dump = [](auto&& set) {
    dump_values v;
    set(v);
    return v;
  };
  const struct {
    const char* name;
    listing code;  // followed by the word 0x0000
    std::uint32_t data_at;
    std::string data;
    dump_values registers;   // PC is the address of the 0x0000 word
  } cases[] = {
      {"SR keeps only its writable bits",
       {{ADD_imm(0xFF, 1), "ADD $FF, R1"}, {LDC_SR(1), "LDC R1, SR"}},
       0, "", dump([](dump_values& v) { v.R[1] = 0xFFFFFFFF; v.SR = 0x3F3; })},
      {"SR cleared by bits outside the writable ones",
       {{ADD_imm(0xFF, 2), "ADD $FF, R2"}, {LDC_SR(2), "LDC R2, SR"}, {ADD_imm(0xC, 1), "ADD $C, R1"},
        {LDC_SR(1), "LDC R1, SR"}},
       0, "", dump([](dump_values& v) { v.R[1] = 0xC; v.R[2] = 0xFFFFFFFF; })},
      {"SR with M and T alone",
       {{ADD_imm(0x40, 1), "ADD $40, R1"}, {ADD(1, 1), "ADD R1, R1"}, {ADD(1, 1), "ADD R1, R1"},
        {ADD(1, 1), "ADD R1, R1"}, {ADD_imm(1, 1), "ADD $1, R1"}, {LDC_SR(1), "LDC R1, SR"}},
       0, "", dump([](dump_values& v) { v.R[1] = 0x201; v.SR = 0x201; })},
      // R15 = 0x100 walks through four longs; R1 then reads unaligned at 0x111;
      // R2 = 0xFFFFFFFC wraps to 0.
      {"memory forms read little-endian longs and advance by 4",
       {{ADD_imm(0x40, 15), "ADD $40, R15"}, {ADD(15, 15), "ADD R15, R15"}, {ADD(15, 15), "ADD R15, R15"},
        {LDC_L_SR(15), "LDC.L @R15+, SR"}, {LDS_L_PR(15), "LDS.L @R15, PR"},
        {LDC_L_VBR(15), "LDC.L @R15+, VBR"}, {LDS_L_MACH(15), "LDS.L @R15, MACH"},
        {ADD(15, 1), "ADD R15, R1"}, {ADD_imm(1, 1), "ADD $1, R1"}, {LDC_L_GBR(1), "LDC.L @R1+, GBR"},
        {ADD_imm(0xFC, 2), "ADD $FC, R2"}, {LDS_L_MACL(2), "LDS.L @R2, MACL"}},
       0x100,
       "\x21\x5F\x34\x12\xBE\xBA\xFE\xCA\x0D\xF0\xAD\x0B\xEF\xCD\xAB\x89\x77\x22\x33\x44\x55",
       dump([](dump_values& v) {
         v.R[1] = 0x115; v.R[2] = 0; v.R[15] = 0x110;
         v.SR = 0x321; v.PR = 0xCAFEBABE; v.VBR = 0x0BADF00D; v.MACH = 0x89ABCDEF; v.GBR = 0x55443322;
       })},
      {"system registers take all 32 bits, and CLRMAC clears MACL again",
       {{ADD_imm(0x80, 3), "ADD $80, R3"}, {LDS_MACL(3), "LDS R3, MACL"}, {CLRMAC(), "CLRMAC"},
        {LDS_MACH(3), "LDS R3, MACH"}, {LDS_PR(3), "LDS R3, PR"}, {LDC_VBR(3), "LDC R3, VBR"}},
       0, "", dump([](dump_values& v) { v.R[3] = v.MACH = v.PR = v.VBR = 0xFFFFFF80; })},
      // The byte at GBR + R0 = 0x101 is masked; loading the long back shows it.
      {"GBR is the base of AND.B",
       {{ADD_imm(0x40, 4), "ADD $40, R4"}, {ADD(4, 4), "ADD R4, R4"}, {ADD(4, 4), "ADD R4, R4"},
        {LDC_GBR(4), "LDC R4, GBR"}, {ADD_imm(1, 0), "ADD $1, R0"}, {AND_B(0xF), "AND.B $F, @(R0, GBR)"},
        {ADD(4, 5), "ADD R4, R5"}, {LDS_L_MACL(5), "LDS.L @R5, MACL"}},
       0x100, "\xEE\xAB\xCC\xDD",
       dump([](dump_values& v) { v.R[0] = 1; v.R[4] = v.GBR = 0x100; v.R[5] = 0x104; v.MACL = 0xDDCC0BEE; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = listing_bytes(c.code) + program_bytes({0x0000});
    dump_values registers = c.registers;
    registers.PC = static_cast<std::uint32_t>(bytes.size()) - 2;
    if (!c.data.empty()) {
      bytes.resize(c.data_at, '\0');
      bytes += c.data;
    }
    expect_trace(bytes, listing_trace(c.code) + halt_line(0x0000, registers));
  }
}

// AND.B turns the ADD $FF at 0x10 into ADD $F; MOV.B writes R1's low byte
// into the immediate of the ADD at 0x12. Both show in the trace.
TEST(data_processing_e2e, byte_stores_rewrite_later_instructions) {
  listing code = {
      {ADD_imm(0x10, 0), "ADD $10, R0"},        // 00: R0 = 0x10
      {AND_B(0xF), "AND.B $F, @(R0, GBR)"},     // 02: byte at R0 + GBR = 0x10 AND= 0x0F
      {ADD_imm(0x12, 1), "ADD $12, R1"},        // 04: R1 = 0x12
      {ADD_imm(2, 2), "ADD $2, R2"},            // 06: R2 = 2
      {MOV_B_R0(1, 2), "MOV.B R1, @(R0, R2)"},  // 08: byte at R0 + R2 = 0x12 = R1
      {NOP(), "NOP"}, {NOP(), "NOP"}, {NOP(), "NOP"},
      {ADD_imm(0xFF, 1), "ADD $FF, R1"},        // 10
      {ADD_imm(0, 3), "ADD $0, R3"},            // 12
  };
  const std::string bytes = listing_bytes(code) + program_bytes({0x0000});
  code[8] = {ADD_imm(0xF, 1), "ADD $F, R1"};  // as the stores leave them
  code[9] = {ADD_imm(0x12, 3), "ADD $12, R3"};
  expect_trace(bytes, listing_trace(code) + halt_line(0x0000, {.R = {0x10, 0x21, 2, 0x12}, .PC = 0x14}));
}

}  // namespace
