// The register loads, divisions and multiplies through the real cputest
// binary: every trace text, and small programs whose effects the closing
// register dump (at a 0x0000 word) shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "cputest_runner.h"

namespace {

struct line {
  std::uint16_t word;
  const char* text;
};

// Trace lines as the driver prints them for code running from address 0.
std::string trace_of(const std::vector<line>& code, std::string& bytes) {
  std::string trace;
  for (const auto& l : code) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%08zX %04X: ", bytes.size(), l.word);
    trace += prefix + std::string(l.text) + "\n";
    bytes += words({l.word});
  }
  return trace;
}

TEST(cputest_loads_multiply, every_instruction_prints_its_text) {
  const std::vector<line> code = {
      {0x4A0E, "LDC R10, SR"},        {0x4B1E, "LDC R11, GBR"},        {0x4C2E, "LDC R12, VBR"},
      {0x4D07, "LDC.L @R13+, SR"},    {0x4E17, "LDC.L @R14+, GBR"},    {0x4F27, "LDC.L @R15+, VBR"},
      {0x400A, "LDS R0, MACH"},       {0x411A, "LDS R1, MACL"},        {0x422A, "LDS R2, PR"},
      {0x4306, "LDS.L @R3, MACH"},    {0x4416, "LDS.L @R4, MACL"},     {0x4F26, "LDS.L @R15, PR"},
      {0x2217, "DIV0S R1, R2"},       {0x0019, "DIV0U"},               {0x3AB4, "DIV1 R11, R10"},
      {0x3CDD, "DMULS R13, R12"},     {0x3EF5, "DMULU R15, R14"},      {0x021F, "MAC.L @R1+, @R2+"},
      {0x4BCF, "MAC.W @R12+, @R11+"},
  };
  std::string bytes;
  const std::string trace = trace_of(code, bytes);
  const auto r = run_cputest(bytes);
  EXPECT_EQ(r.out, cputest_header + trace);
  EXPECT_EQ(r.exit_status, 0);
}

TEST(cputest_loads_multiply, load_programs_leave_the_registers_the_dump_shows) {
  const auto dump = [](auto&& set) {
    dump_values v;
    set(v);
    return v;
  };
  const struct {
    const char* name;
    std::vector<line> code;  // from address 0, followed by the word 0x0000
    std::uint32_t data_at;
    std::string data;
    dump_values registers;   // PC is the address of the 0x0000 word
  } cases[] = {
      {"SR keeps only its writable bits",
       {{0x71FF, "ADD $FF, R1"}, {0x410E, "LDC R1, SR"}},
       0, "", dump([](dump_values& v) { v.R[1] = 0xFFFFFFFF; v.SR = 0x3F3; })},
      {"SR cleared by bits outside the writable ones",
       {{0x72FF, "ADD $FF, R2"}, {0x420E, "LDC R2, SR"}, {0x710C, "ADD $C, R1"}, {0x410E, "LDC R1, SR"}},
       0, "", dump([](dump_values& v) { v.R[1] = 0xC; v.R[2] = 0xFFFFFFFF; })},
      {"SR with M and T alone",
       {{0x7140, "ADD $40, R1"}, {0x311C, "ADD R1, R1"}, {0x311C, "ADD R1, R1"}, {0x311C, "ADD R1, R1"},
        {0x7101, "ADD $1, R1"}, {0x410E, "LDC R1, SR"}},
       0, "", dump([](dump_values& v) { v.R[1] = 0x201; v.SR = 0x201; })},
      // R15 = 0x100 walks through four longs; R1 then reads unaligned at 0x111;
      // R2 = 0xFFFFFFFC wraps to 0.
      {"memory forms read little-endian longs and advance by 4",
       {{0x7F40, "ADD $40, R15"}, {0x3FFC, "ADD R15, R15"}, {0x3FFC, "ADD R15, R15"},
        {0x4F07, "LDC.L @R15+, SR"}, {0x4F26, "LDS.L @R15, PR"}, {0x4F27, "LDC.L @R15+, VBR"},
        {0x4F06, "LDS.L @R15, MACH"}, {0x31FC, "ADD R15, R1"}, {0x7101, "ADD $1, R1"},
        {0x4117, "LDC.L @R1+, GBR"}, {0x72FC, "ADD $FC, R2"}, {0x4216, "LDS.L @R2, MACL"}},
       0x100,
       "\x21\x5F\x34\x12\xBE\xBA\xFE\xCA\x0D\xF0\xAD\x0B\xEF\xCD\xAB\x89\x77\x22\x33\x44\x55",
       dump([](dump_values& v) {
         v.R[1] = 0x115; v.R[2] = 0; v.R[15] = 0x110;
         v.SR = 0x321; v.PR = 0xCAFEBABE; v.VBR = 0x0BADF00D; v.MACH = 0x89ABCDEF; v.GBR = 0x55443322;
       })},
      {"system registers take all 32 bits, and CLRMAC clears MACL again",
       {{0x7380, "ADD $80, R3"}, {0x431A, "LDS R3, MACL"}, {0x0028, "CLRMAC"}, {0x430A, "LDS R3, MACH"},
        {0x432A, "LDS R3, PR"}, {0x432E, "LDC R3, VBR"}},
       0, "", dump([](dump_values& v) { v.R[3] = v.MACH = v.PR = v.VBR = 0xFFFFFF80; })},
      // The byte at GBR + R0 = 0x101 is masked; loading the long back shows it.
      {"GBR is the base of AND.B",
       {{0x7440, "ADD $40, R4"}, {0x344C, "ADD R4, R4"}, {0x344C, "ADD R4, R4"}, {0x441E, "LDC R4, GBR"},
        {0x7001, "ADD $1, R0"}, {0xCD0F, "AND.B $F, @(R0, GBR)"}, {0x354C, "ADD R4, R5"},
        {0x4516, "LDS.L @R5, MACL"}},
       0x100, "\xEE\xAB\xCC\xDD",
       dump([](dump_values& v) { v.R[0] = 1; v.R[4] = v.GBR = 0x100; v.R[5] = 0x104; v.MACL = 0xDDCC0BEE; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    std::string trace = trace_of(c.code, bytes);
    dump_values registers = c.registers;
    registers.PC = static_cast<std::uint32_t>(bytes.size());
    trace += trace_of({{0x0000, ""}}, bytes);
    trace.pop_back();  // the dump completes the 0x0000 word's line
    trace += register_dump(0x0000, registers);
    if (!c.data.empty()) {
      bytes.resize(c.data_at, '\0');
      bytes += c.data;
    }
    const auto r = run_cputest(bytes);
    EXPECT_EQ(r.out, cputest_header + trace);
    EXPECT_EQ(r.exit_status, 0);
  }
}

}  // namespace
