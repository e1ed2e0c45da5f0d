// Branches through the cputest binary: counted loops, the targets and PR
// values as the final register dump shows them, and what each kind of
// instruction does in a delay slot. Registers start at 0 and T clear.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "cputest_runner.h"

namespace {

using u32 = std::uint32_t;

struct placed {
  u32 address;
  std::uint16_t word;
};

struct program {
  const char* name;
  std::vector<placed> code;                  // the file ends after the last word
  std::vector<std::pair<u32, const char*>> steps;  // address and text of each trace line
  std::optional<dump_values> dump;           // the registers when the run halts at dump->PC
};

std::uint16_t word_at(const std::vector<placed>& code, u32 address) {
  for (const auto& p : code)
    if (p.address == address) return p.word;
  return 0;
}

std::string image(const std::vector<placed>& code) {
  std::string bytes(code.back().address + 2, '\0');
  for (const auto& p : code) {
    bytes[p.address] = static_cast<char>(p.word & 0xFF);
    bytes[p.address + 1] = static_cast<char>(p.word >> 8);
  }
  return bytes;
}

std::string prefix(const std::vector<placed>& code, u32 address) {
  char text[24];
  std::snprintf(text, sizeof text, "%08X %04X: ", address, word_at(code, address));
  return text;
}

void expect_runs(const std::vector<program>& programs) {
  for (const auto& p : programs) {
    SCOPED_TRACE(p.name);
    std::string trace;
    for (const auto& [address, text] : p.steps) trace += prefix(p.code, address) + text + "\n";
    if (p.dump) trace += prefix(p.code, p.dump->PC) + register_dump(word_at(p.code, p.dump->PC), *p.dump);
    const auto r = run_cputest(image(p.code));
    EXPECT_EQ(r.out, cputest_header + trace);
    EXPECT_EQ(r.exit_status, 0);
  }
}

TEST(branches_e2e, counted_loops) {
  expect_runs({
      {"DT and BF: R2 counts the passes",
       {{0, 0x7103}, {2, 0x7201}, {4, 0x4110}, {6, 0x8BFC}, {8, 0x0000}},
       {{0, "ADD $3, R1"},
        {2, "ADD $1, R2"}, {4, "DT R1"}, {6, "BF $FFFFFFFC (-4)"},
        {2, "ADD $1, R2"}, {4, "DT R1"}, {6, "BF $FFFFFFFC (-4)"},
        {2, "ADD $1, R2"}, {4, "DT R1"}, {6, "BF $FFFFFFFC (-4)"}},
       dump_values{.R = {0, 0, 3}, .PC = 8, .SR = 1}},
      // The slot runs on every pass, and once more in sequence after the last.
      {"DT and BF/S with the work in the delay slot",
       {{0, 0x7104}, {2, 0x4110}, {4, 0x8FFD}, {6, 0x7202}, {8, 0x0000}},
       {{0, "ADD $4, R1"},
        {2, "DT R1"}, {4, "BF/S $FFFFFFFD (-3)"}, {6, "ADD $2, R2"},
        {2, "DT R1"}, {4, "BF/S $FFFFFFFD (-3)"}, {6, "ADD $2, R2"},
        {2, "DT R1"}, {4, "BF/S $FFFFFFFD (-3)"}, {6, "ADD $2, R2"},
        {2, "DT R1"}, {4, "BF/S $FFFFFFFD (-3)"}, {6, "ADD $2, R2"}},
       dump_values{.R = {0, 0, 8}, .PC = 8, .SR = 1}},
  });
}

// Most programs first branch to the address under test; CMP/EQ R0, R0 sets T.
TEST(branches_e2e, targets_and_pr) {
  expect_runs({
      {"BT taken",
       {{0, 0x3000}, {2, 0xA00D}, {4, 0x0009}, {0x20, 0x8905}},
       {{0, "CMP/EQ R0, R0"}, {2, "BRA $D (13)"}, {4, "NOP"}, {0x20, "BT $5 (5)"}},
       dump_values{.PC = 0x2E, .SR = 1}},
      {"BT/S taken runs its slot, then the target",
       {{0, 0x3000}, {2, 0xA01D}, {4, 0x0009}, {0x40, 0x8D7F}, {0x42, 0x7101}},
       {{0, "CMP/EQ R0, R0"}, {2, "BRA $1D (29)"}, {4, "NOP"}, {0x40, "BT/S $7F (127)"}, {0x42, "ADD $1, R1"}},
       dump_values{.R = {0, 1}, .PC = 0x142, .SR = 1}},
      {"BRA by the largest displacement",
       {{0, 0xA7FF}, {2, 0x0009}},
       {{0, "BRA $7FF (2047)"}, {2, "NOP"}},
       dump_values{.PC = 0x1002}},
      {"BSR leaves its own address in PR",
       {{0, 0xA016}, {2, 0x0009}, {0x30, 0xB010}, {0x32, 0x0009}},
       {{0, "BRA $16 (22)"}, {2, "NOP"}, {0x30, "BSR $10 (16)"}, {0x32, "NOP"}},
       dump_values{.PC = 0x54, .PR = 0x30}},
      {"BRAF goes to its own address + Rm",
       {{0, 0x7220}, {2, 0xA01D}, {4, 0x0009}, {0x40, 0x0223}, {0x42, 0x0009}},
       {{0, "ADD $20, R2"}, {2, "BRA $1D (29)"}, {4, "NOP"}, {0x40, "BRAF @R2"}, {0x42, "NOP"}},
       dump_values{.R = {0, 0, 0x20}, .PC = 0x60}},
      {"BSRF backwards",
       {{0, 0x72F0}, {2, 0xA01D}, {4, 0x0009}, {0x40, 0x0203}, {0x42, 0x0009}},
       {{0, "ADD $F0, R2"}, {2, "BRA $1D (29)"}, {4, "NOP"}, {0x40, "BSRF @R2"}, {0x42, "NOP"}},
       dump_values{.R = {0, 0, 0xFFFFFFF0}, .PC = 0x30, .PR = 0x40}},
      {"JMP goes to Rm + 4",
       {{0, 0x7340}, {2, 0x333C}, {4, 0x333C}, {6, 0x432B}, {8, 0x0009}},
       {{0, "ADD $40, R3"}, {2, "ADD R3, R3"}, {4, "ADD R3, R3"}, {6, "JMP @R3"}, {8, "NOP"}},
       dump_values{.R = {0, 0, 0, 0x100}, .PC = 0x104}},
      {"JSR goes to Rm + 4 and leaves its own address in PR",
       {{0, 0x7440}, {2, 0x344C}, {4, 0x344C}, {6, 0x344C}, {8, 0xA022}, {0xA, 0x0009}, {0x50, 0x440B},
        {0x52, 0x0009}},
       {{0, "ADD $40, R4"}, {2, "ADD R4, R4"}, {4, "ADD R4, R4"}, {6, "ADD R4, R4"}, {8, "BRA $22 (34)"},
        {0xA, "NOP"}, {0x50, "JSR @R4"}, {0x52, "NOP"}},
       dump_values{.R = {0, 0, 0, 0, 0x200}, .PC = 0x204, .PR = 0x50}},
      {"a target below 0 wraps",
       {{0, 0x8B80}},
       {{0, "BF $FFFFFF80 (-128)"}},
       dump_values{.PC = 0xFFFFFF04}},
  });
}

TEST(branches_e2e, delay_slots) {
  expect_runs({
      {"a delayed branch in a slot re-arms; the first target is never reached",
       {{0, 0xA004}, {2, 0xA005}, {4, 0x7101}, {0xC, 0x7210}, {0x10, 0x7320}, {0x12, 0x0000}},
       {{0, "BRA $4 (4)"}, {2, "BRA $5 (5)"}, {4, "ADD $1, R1"}, {0x10, "ADD $20, R3"}},
       dump_values{.R = {0, 1, 0, 0x20}, .PC = 0x12}},
      {"a taken BF/S in the slot of a JSR re-arms",
       {{0, 0x7440}, {2, 0x440B}, {4, 0x8F10}, {6, 0x7101}, {0x44, 0x7210}},
       {{0, "ADD $40, R4"}, {2, "JSR @R4"}, {4, "BF/S $10 (16)"}, {6, "ADD $1, R1"}},
       dump_values{.R = {0, 1, 0, 0, 0x40}, .PC = 0x28, .PR = 2}},
      {"a taken BF in a slot is overridden",
       {{0, 0xA003}, {2, 0x8B10}, {0xA, 0x7101}, {0xC, 0x0000}},
       {{0, "BRA $3 (3)"}, {2, "BF $10 (16)"}, {0xA, "ADD $1, R1"}},
       dump_values{.R = {0, 1}, .PC = 0xC}},
      {"SLEEP in a slot runs once",
       {{0, 0xA001}, {2, 0x001B}, {6, 0x7101}, {8, 0x0000}},
       {{0, "BRA $1 (1)"}, {2, "SLEEP"}, {6, "ADD $1, R1"}},
       dump_values{.R = {0, 1}, .PC = 8}},
      {"an unimplemented word in a slot halts there",
       {{0, 0xA001}, {2, 0xFFFF}, {6, 0x7101}},
       {{0, "BRA $1 (1)"}},
       dump_values{.PC = 2}},
      {"a subroutine call as the last word ends the run before its slot",
       {{0, 0x7101}, {2, 0xB7FF}},
       {{0, "ADD $1, R1"}, {2, "BSR $7FF (2047)"}},
       std::nullopt},
      {"a taken BF/S as the last word ends the run before its slot",
       {{0, 0x8F05}},
       {{0, "BF/S $5 (5)"}},
       std::nullopt},
  });
}

}  // namespace
