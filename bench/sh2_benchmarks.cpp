// In-process benchmarks: the execution step with its trace lines, and the
// output path on its own, both formatting into memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "decoder.h"
#include "output.h"
#include "sh2.h"
#include "sh2_program.h"

namespace {

using namespace sh2_asm;

// Output goes into a string that is emptied now and then, so that only the
// formatting is measured.
struct memory_sink {
  std::string text;
  memory_sink() {
    text.reserve(2 * out::buffer_size);
    out::capture_into(&text);
  }
  ~memory_sink() {
    out::discard();
    out::capture_into(nullptr);
  }
  void trim() {
    if (text.size() > out::buffer_size) text.clear();
  }
};

void load(const std::vector<word>& program) {
  sh2_memory.fill(0);
  const std::string bytes = program_bytes(program);
  std::copy(bytes.begin(), bytes.end(), sh2_memory.begin());
}

// Runs the driver's loop from address 0 until PC reaches end; returns the
// number of instructions traced.
std::int64_t trace(std::uint32_t end, memory_sink& sink) {
  sh2_state = {};
  std::int64_t lines = 0;
  look_ahead next;
  while (trace_goes_on(end)) {
    trace_instruction(next);
    ++lines;
    if ((lines & 0xFFF) == 0) sink.trim();
  }
  return lines;
}

void run_program(benchmark::State& state, const std::vector<word>& program) {
  memory_sink sink;
  build_decode_table();
  load(program);
  std::int64_t lines = 0;
  for (auto _ : state) lines += trace(static_cast<std::uint32_t>(program.size() * 2), sink);
  state.SetItemsProcessed(lines);
}

void execute_counted_loop(benchmark::State& state) {
  std::vector<word> p = {ADD_imm(1, 1)};
  for (int i = 0; i < 16; ++i) p.push_back(ADD(1, 1));
  p.push_back(DT(1));
  p.push_back(BF(-3));
  run_program(state, p);
}
BENCHMARK(execute_counted_loop);

void execute_straight_line(benchmark::State& state) {
  const word body[] = {ADD_imm(0x35, 1), ADDC(2, 3), ADDV(3, 4),   CMP_GE(2, 3), CMP_STR(1, 9),
                       EXTS_W(3, 12),    DMULS(1, 2), DIV1(1, 2), AND_imm(0xF0), CMP_EQ_imm(-1)};
  std::vector<word> p;
  for (int i = 0; i < 10000; ++i) p.push_back(body[i % 10]);
  run_program(state, p);
}
BENCHMARK(execute_straight_line);

void execute_delayed_branches(benchmark::State& state) {
  std::vector<word> p = {ADD_imm(1, 1)};
  for (int i = 0; i < 14; ++i) p.push_back(ADD(1, 1));
  p.push_back(BRA(0));
  p.push_back(ADD_imm(1, 2));
  p.push_back(BSR(0));
  p.push_back(ADD(2, 3));
  p.push_back(DT(1));
  p.push_back(BF_S(-7));
  p.push_back(NOP());
  run_program(state, p);
}
BENCHMARK(execute_delayed_branches);

void format_trace_prefix(benchmark::State& state) {
  memory_sink sink;
  std::uint32_t pc = 0x06004000;
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i, pc += 2) out::print<"%08X %04X: ">(pc, pc & 0xFFFF);
    sink.trim();
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(format_trace_prefix);

void format_branch_line(benchmark::State& state) {
  memory_sink sink;
  for (auto _ : state) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t d = (i ^ 0x80u) - 0x80u;  // every 8-bit displacement
      out::print<"BF $%X (%d)\n">(d, d);
    }
    sink.trim();
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(format_branch_line);

void format_register_line(benchmark::State& state) {
  memory_sink sink;
  unsigned n = 0;
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i, ++n) out::print<"ADD R%d, R%d\n">(n & 0xF, (n >> 4) & 0xF);
    sink.trim();
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(format_register_line);

}  // namespace
