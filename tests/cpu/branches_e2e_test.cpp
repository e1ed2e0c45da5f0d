// Branches through the cputest binary: counted loops, the targets and PR
// values as the final register dump shows them, and what each kind of
// instruction does in a delay slot. Registers start at 0 and T clear.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "cputest_runner.h"

namespace {

using namespace sh2_asm;
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
  std::vector<word> words(code.back().address / 2 + 1);
  for (const auto& p : code) words[p.address / 2] = p.word;
  return program_bytes(words);
}

void expect_runs(const std::vector<program>& programs) {
  for (const auto& p : programs) {
    SCOPED_TRACE(p.name);
    std::string trace;
    for (const auto& [address, text] : p.steps) trace += trace_line(address, word_at(p.code, address), text);
    if (p.dump) trace += halt_line(word_at(p.code, p.dump->PC), *p.dump);
    expect_trace(image(p.code), trace);
  }
}

TEST(branches_e2e, counted_loops) {
  expect_runs({
      {"DT and BF: R2 counts the passes",
       {{0, ADD_imm(3, 1)}, {2, ADD_imm(1, 2)}, {4, DT(1)}, {6, BF(-4)}, {8, 0x0000}},
       {{0, "ADD $3, R1"},
        {2, "ADD $1, R2"}, {4, "DT R1"}, {6, "BF $FFFFFFFC (-4)"},
        {2, "ADD $1, R2"}, {4, "DT R1"}, {6, "BF $FFFFFFFC (-4)"},
        {2, "ADD $1, R2"}, {4, "DT R1"}, {6, "BF $FFFFFFFC (-4)"}},
       dump_values{.R = {0, 0, 3}, .PC = 8, .SR = 1}},
      // The slot runs on every pass, and once more in sequence after the last.
      {"DT and BF/S with the work in the delay slot",
       {{0, ADD_imm(4, 1)}, {2, DT(1)}, {4, BF_S(-3)}, {6, ADD_imm(2, 2)}, {8, 0x0000}},
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
       {{0, CMP_EQ(0, 0)}, {2, BRA(13)}, {4, NOP()}, {0x20, BT(5)}},
       {{0, "CMP/EQ R0, R0"}, {2, "BRA $D (13)"}, {4, "NOP"}, {0x20, "BT $5 (5)"}},
       dump_values{.PC = 0x2E, .SR = 1}},
      {"BT/S taken runs its slot, then the target",
       {{0, CMP_EQ(0, 0)}, {2, BRA(29)}, {4, NOP()}, {0x40, BT_S(127)}, {0x42, ADD_imm(1, 1)}},
       {{0, "CMP/EQ R0, R0"}, {2, "BRA $1D (29)"}, {4, "NOP"}, {0x40, "BT/S $7F (127)"}, {0x42, "ADD $1, R1"}},
       dump_values{.R = {0, 1}, .PC = 0x142, .SR = 1}},
      {"BRA by the largest displacement",
       {{0, BRA(2047)}, {2, NOP()}},
       {{0, "BRA $7FF (2047)"}, {2, "NOP"}},
       dump_values{.PC = 0x1002}},
      {"BSR leaves its own address in PR",
       {{0, BRA(22)}, {2, NOP()}, {0x30, BSR(16)}, {0x32, NOP()}},
       {{0, "BRA $16 (22)"}, {2, "NOP"}, {0x30, "BSR $10 (16)"}, {0x32, "NOP"}},
       dump_values{.PC = 0x54, .PR = 0x30}},
      {"BRAF goes to its own address + Rm",
       {{0, ADD_imm(0x20, 2)}, {2, BRA(29)}, {4, NOP()}, {0x40, BRAF(2)}, {0x42, NOP()}},
       {{0, "ADD $20, R2"}, {2, "BRA $1D (29)"}, {4, "NOP"}, {0x40, "BRAF @R2"}, {0x42, "NOP"}},
       dump_values{.R = {0, 0, 0x20}, .PC = 0x60}},
      {"BSRF backwards",
       {{0, ADD_imm(0xF0, 2)}, {2, BRA(29)}, {4, NOP()}, {0x40, BSRF(2)}, {0x42, NOP()}},
       {{0, "ADD $F0, R2"}, {2, "BRA $1D (29)"}, {4, "NOP"}, {0x40, "BSRF @R2"}, {0x42, "NOP"}},
       dump_values{.R = {0, 0, 0xFFFFFFF0}, .PC = 0x30, .PR = 0x40}},
      {"JMP goes to Rm + 4",
       {{0, ADD_imm(0x40, 3)}, {2, ADD(3, 3)}, {4, ADD(3, 3)}, {6, JMP(3)}, {8, NOP()}},
       {{0, "ADD $40, R3"}, {2, "ADD R3, R3"}, {4, "ADD R3, R3"}, {6, "JMP @R3"}, {8, "NOP"}},
       dump_values{.R = {0, 0, 0, 0x100}, .PC = 0x104}},
      {"JSR goes to Rm + 4 and leaves its own address in PR",
       {{0, ADD_imm(0x40, 4)}, {2, ADD(4, 4)}, {4, ADD(4, 4)}, {6, ADD(4, 4)}, {8, BRA(34)}, {0xA, NOP()},
        {0x50, JSR(4)}, {0x52, NOP()}},
       {{0, "ADD $40, R4"}, {2, "ADD R4, R4"}, {4, "ADD R4, R4"}, {6, "ADD R4, R4"}, {8, "BRA $22 (34)"},
        {0xA, "NOP"}, {0x50, "JSR @R4"}, {0x52, "NOP"}},
       dump_values{.R = {0, 0, 0, 0, 0x200}, .PC = 0x204, .PR = 0x50}},
      {"a target below 0 wraps",
       {{0, BF(-128)}},
       {{0, "BF $FFFFFF80 (-128)"}},
       dump_values{.PC = 0xFFFFFF04}},
  });
}

TEST(branches_e2e, delay_slots) {
  expect_runs({
      {"a delayed branch in a slot re-arms; the first target is never reached",
       {{0, BRA(4)}, {2, BRA(5)}, {4, ADD_imm(1, 1)}, {0xC, ADD_imm(0x10, 2)}, {0x10, ADD_imm(0x20, 3)},
        {0x12, 0x0000}},
       {{0, "BRA $4 (4)"}, {2, "BRA $5 (5)"}, {4, "ADD $1, R1"}, {0x10, "ADD $20, R3"}},
       dump_values{.R = {0, 1, 0, 0x20}, .PC = 0x12}},
      {"a taken BF/S in the slot of a JSR re-arms",
       {{0, ADD_imm(0x40, 4)}, {2, JSR(4)}, {4, BF_S(16)}, {6, ADD_imm(1, 1)}, {0x44, ADD_imm(0x10, 2)}},
       {{0, "ADD $40, R4"}, {2, "JSR @R4"}, {4, "BF/S $10 (16)"}, {6, "ADD $1, R1"}},
       dump_values{.R = {0, 1, 0, 0, 0x40}, .PC = 0x28, .PR = 2}},
      {"a taken BF in a slot is overridden",
       {{0, BRA(3)}, {2, BF(16)}, {0xA, ADD_imm(1, 1)}, {0xC, 0x0000}},
       {{0, "BRA $3 (3)"}, {2, "BF $10 (16)"}, {0xA, "ADD $1, R1"}},
       dump_values{.R = {0, 1}, .PC = 0xC}},
      {"SLEEP in a slot runs once",
       {{0, BRA(1)}, {2, SLEEP()}, {6, ADD_imm(1, 1)}, {8, 0x0000}},
       {{0, "BRA $1 (1)"}, {2, "SLEEP"}, {6, "ADD $1, R1"}},
       dump_values{.R = {0, 1}, .PC = 8}},
      {"an unimplemented word in a slot halts there",
       {{0, BRA(1)}, {2, 0xFFFF}, {6, ADD_imm(1, 1)}},
       {{0, "BRA $1 (1)"}},
       dump_values{.PC = 2}},
      {"a subroutine call as the last word ends the run before its slot",
       {{0, ADD_imm(1, 1)}, {2, BSR(2047)}},
       {{0, "ADD $1, R1"}, {2, "BSR $7FF (2047)"}},
       std::nullopt},
      {"a taken BF/S as the last word ends the run before its slot",
       {{0, BF_S(5)}},
       {{0, "BF/S $5 (5)"}},
       std::nullopt},
  });
}

}  // namespace
