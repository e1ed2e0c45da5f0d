// Runs instructions on the interpreter in-process, with everything it prints
// captured, so that tests can set a state, step, and look at the result.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "decoder.h"
#include "output.h"
#include "sh2.h"

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

  // Stores words from address 0 on, little-endian.
  static void load_words(std::initializer_list<std::uint16_t> words) {
    std::uint32_t address = 0;
    for (std::uint16_t w : words) {
      mem_write_word(address, w);
      address += 2;
    }
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
