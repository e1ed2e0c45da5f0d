// Runs instructions on the interpreter in-process, with everything it prints
// captured, so that tests can set a state, step, and look at the result.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "decoder.h"
#include "output.h"
#include "sh2.h"
#include "sh2_program.h"

class cpu_test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string ignored;
    out::capture_into(&ignored);
    build_decode_table();
    out::flush();
    out::capture_into(nullptr);
  }

  void SetUp() override {
    sh2_state = {};
    sh2_memory.fill(0);
    printed.clear();
    out::capture_into(&printed);
  }

  void TearDown() override { out::capture_into(nullptr); }

  // Executes one word at the current PC and returns the line it printed.
  std::string step(std::uint16_t word) {
    printed.clear();
    execute_instruction(word);
    out::flush();
    return printed;
  }

  // Stores words from address 0 on.
  static void load_words(const std::vector<sh2_asm::word>& words) {
    const std::string bytes = sh2_asm::program_bytes(words);
    std::copy(bytes.begin(), bytes.end(), sh2_memory.begin());
  }

  // Stores the value's low size bytes at address, little-endian, without
  // the interpreter's own writes.
  static void put_bytes(std::uint32_t address, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) sh2_memory[address + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }

  // Every register at random, PC even and SR within its writable bits; the
  // general registers, MACH and MACL take value()'s values.
  template <typename Value>
  static void randomize_registers(std::mt19937& rng, Value value) {
    for (auto& r : sh2_state.R) r = value();
    sh2_state.PC = rng() & ~1u;
    sh2_state.PR = rng();
    sh2_state.SR = rng() & SR_WRITABLE;
    sh2_state.GBR = rng();
    sh2_state.VBR = rng();
    sh2_state.MACH = value();
    sh2_state.MACL = value();
  }

  // The registers, to compare whole states with.
  static auto registers(const sh2_registers& s) {
    return std::tie(s.R, s.PC, s.PR, s.SR, s.GBR, s.VBR, s.MACH, s.MACL);
  }

  // Fetches and executes at PC until the halt flag is set, PC reaches end, or
  // limit steps have run; returns the trace as the driver would print it.
  std::string run(std::uint32_t end, int limit = 1000) {
    printed.clear();
    look_ahead next;
    for (int i = 0; i < limit && trace_goes_on(end); ++i) trace_instruction(next);
    out::flush();
    return printed;
  }

  static bool T() { return sr_bit(SR_T); }
  static void set_T(bool on) { set_sr_bit(SR_T, on); }

  std::string printed;
};
