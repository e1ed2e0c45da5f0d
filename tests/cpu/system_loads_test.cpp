// LDC and LDS, from a register and from memory with post-increment: every
// form with every source register over random states, checking that exactly
// the target, the address register and PC change.
#include <cstdint>
#include <random>
#include <tuple>

#include "cpu_fixture.h"

namespace {

auto fields(const sh2_registers& s) {
  return std::tie(s.R, s.PC, s.PR, s.SR, s.GBR, s.VBR, s.MACH, s.MACL);
}

using system_loads = cpu_test;

TEST_F(system_loads, each_form_loads_its_target_from_any_register) {
  const struct {
    std::uint16_t word;
    std::uint32_t sh2_registers::*target;
    bool from_memory;
  } loads[] = {
      {0x400E, &sh2_registers::SR, false},   {0x401E, &sh2_registers::GBR, false},
      {0x402E, &sh2_registers::VBR, false},  {0x4007, &sh2_registers::SR, true},
      {0x4017, &sh2_registers::GBR, true},   {0x4027, &sh2_registers::VBR, true},
      {0x400A, &sh2_registers::MACH, false}, {0x401A, &sh2_registers::MACL, false},
      {0x402A, &sh2_registers::PR, false},   {0x4006, &sh2_registers::MACH, true},
      {0x4016, &sh2_registers::MACL, true},  {0x4026, &sh2_registers::PR, true},
  };
  std::mt19937 rng(1995);
  for (const auto& load : loads) {
    for (unsigned m = 0; m < 16; ++m) {
      for (int i = 0; i < 8; ++i) {
        for (auto& r : sh2_state.R) r = rng();
        sh2_state.PC = rng() & ~1u;
        sh2_state.PR = rng();
        sh2_state.SR = rng() & SR_WRITABLE;
        sh2_state.GBR = rng();
        sh2_state.VBR = rng();
        sh2_state.MACH = rng();
        sh2_state.MACL = rng();
        const std::uint32_t value = i == 0 ? 0xFFFFFFFF : rng();
        if (load.from_memory) {
          sh2_state.R[m] = rng() % (memory_size - 3);  // any alignment
          for (int b = 0; b < 4; ++b) sh2_memory[sh2_state.R[m] + b] = static_cast<std::uint8_t>(value >> (8 * b));
        } else {
          sh2_state.R[m] = value;
        }
        sh2_registers want = sh2_state;
        want.*load.target = load.target == &sh2_registers::SR ? value & 0x3F3 : value;
        if (load.from_memory) want.R[m] += 4;
        want.PC += 2;
        step(static_cast<std::uint16_t>(load.word | m << 8));
        ASSERT_EQ(fields(sh2_state), fields(want)) << std::hex << "word " << (load.word | m << 8);
      }
    }
  }
}

}  // namespace
