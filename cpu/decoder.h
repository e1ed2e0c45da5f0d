// From instruction words to handlers: the table of implemented patterns, the
// 65536-entry table built from it once, and the execution step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <span>
#include <stdexcept>

#include "instruction_set.h"
#include "output.h"
#include "sh2.h"

using handler_fn = void (*)();

// The SH-2 manual's instruction formats, in the manual's order.
enum operand_format : std::uint32_t {
  FORMAT_0,
  FORMAT_N,
  FORMAT_M,
  FORMAT_NM,
  FORMAT_MD,
  FORMAT_ND4,
  FORMAT_NMD,
  FORMAT_D,
  FORMAT_D12,
  FORMAT_ND8,
  FORMAT_I,
  FORMAT_NI,
};

// Where each format, in the enum's order, has its operand fields; x is a
// fixed bit.
inline constexpr const char* format_fields[] = {
    "xxxxxxxxxxxxxxxx", "xxxxnnnnxxxxxxxx", "xxxxmmmmxxxxxxxx", "xxxxnnnnmmmmxxxx",
    "xxxxxxxxmmmmdddd", "xxxxxxxxnnnndddd", "xxxxnnnnmmmmdddd", "xxxxxxxxdddddddd",
    "xxxxdddddddddddd", "xxxxnnnndddddddd", "xxxxxxxxiiiiiiii", "xxxxnnnniiiiiiii",
};

struct opcode_row {
  std::uint16_t mask;   // the bits that identify the instruction
  std::uint16_t match;  // their value
  operand_format format;
  handler_fn handler;
};

// An instruction's row: its fixed bits, and the format its operand fields
// make, from its pattern.
consteval opcode_row row(const isa::bit_pattern& pattern, handler_fn handler) {
  for (std::uint32_t format = 0; format < std::size(format_fields); ++format) {
    bool same = true;
    for (int i = 0; i < 16; ++i) {
      const char c = pattern.bits[i];
      same = same && format_fields[format][i] == (isa::bit_pattern::fixed(c) ? 'x' : c);
    }
    if (same) return {pattern.mask(), pattern.match(), static_cast<operand_format>(format), handler};
  }
  throw std::invalid_argument("operand fields of no instruction format");
}

void invalid_opcode();

inline constexpr opcode_row default_row{0, 0, FORMAT_0, invalid_opcode};
// The number the counts line gives: the rows of the finished instruction set.
inline constexpr int implemented_opcodes = 55;

// The rows of the instruction groups, which list them with their handlers
// (data_processing.h, branches.h, system_loads.h, divide_multiply.h), in
// table order (opcode_table.cpp).
extern const std::span<const opcode_row> opcode_table;

// One entry per instruction word: the number of the opcode_table row it
// belongs to, counted from 1, or 0 for none (the default row). A byte is all
// the step needs, so the table takes 64 KiB, which the compiler builds into
// read-only data: nothing is filled at start-up, and a run touches only the
// pages its words index.
using row_number = std::uint8_t;
extern const std::array<row_number, 0x10000> decode_table;
// The handler of each row number: invalid_opcode, then opcode_table's, and
// invalid_opcode for the numbers that no row has.
extern const std::array<handler_fn, std::numeric_limits<row_number>::max() + 1> row_handlers;

opcode_row decode_lookup(std::uint32_t word);
// Prints the counts line of the decode table.
void build_decode_table();

// Arms a delayed branch: the handler has just set PC to the target.
void delay_slot(std::uint32_t slot_address);

// The handler that decode_table gives a word.
inline handler_fn handler_of(std::uint16_t word) { return row_handlers[decode_table[word]]; }

// One step with the word's handler already found: latch the word, run the
// handler, then let a pending delayed branch count down. A branch armed in
// this step fires after the next one, so exactly one instruction (the delay
// slot) runs in between.
[[gnu::always_inline]] inline void run_step(std::uint16_t word, handler_fn handler) {
  sh2_state.instruction_word = word;
  handler();
  if (sh2_state.delay_countdown != 0 && --sh2_state.delay_countdown == 0)
    sh2_state.PC = sh2_state.branch_target;
}

// One step.
inline void execute_instruction(std::uint16_t word) { run_step(word, handler_of(word)); }

// The trace loop goes on until the halt flag is set or PC reaches end exactly.
inline bool trace_goes_on(std::uint32_t end) { return sh2_state.halt_flag != 1 && sh2_state.PC != end; }

// The trace loop's look-ahead: the word after the one being traced and its
// handler, found before the traced one runs. On code that no predictor can
// learn, every call through a handler pointer is mispredicted, and the cost
// of that lies in how late the pointer is known. Looked up from PC, it waits
// for the previous handler to store PC; looked up ahead, it is ready when the
// call comes, whenever that instruction is followed by the next word, or by
// any equal word: the handler depends on the word alone.
struct look_ahead {
  std::uint16_t word = 0;
  handler_fn handler = handler_of(0);
};

// One pass of the trace loop: the prefix with PC and the word there, then the
// step, whose handler completes the line. Reads have no side effects, so one
// fetch serves both.
[[gnu::always_inline]] inline void trace_instruction(look_ahead& next) {
  const std::uint32_t pc = sh2_state.PC;
  const auto word = static_cast<std::uint16_t>(mem_read_word(pc));
  out::print<"%08X %04X: ">(pc, word);
  handler_fn handler = next.handler;
  if (word != next.word) [[unlikely]]
    handler = handler_of(word);
  next.word = static_cast<std::uint16_t>(mem_read_word(pc + 2));
  next.handler = handler_of(next.word);
  run_step(word, handler);
}
