// LDC and LDS, from a register and from memory with post-increment: every
// form with every source register over random states, checking that exactly
// the target, the address register and PC change.
#include <cstdint>
#include <random>

#include "cpu_fixture.h"

namespace {

using namespace sh2_asm;
using system_loads = cpu_test;

TEST_F(system_loads, each_form_loads_its_target_from_any_register) {
  const struct {
    isa::bit_pattern instruction;
    std::uint32_t sh2_registers::*target;
    bool from_memory;
  } loads[] = {
      {LDC_SR, &sh2_registers::SR, false},      {LDC_GBR, &sh2_registers::GBR, false},
      {LDC_VBR, &sh2_registers::VBR, false},    {LDC_L_SR, &sh2_registers::SR, true},
      {LDC_L_GBR, &sh2_registers::GBR, true},   {LDC_L_VBR, &sh2_registers::VBR, true},
      {LDS_MACH, &sh2_registers::MACH, false},  {LDS_MACL, &sh2_registers::MACL, false},
      {LDS_PR, &sh2_registers::PR, false},      {LDS_L_MACH, &sh2_registers::MACH, true},
      {LDS_L_MACL, &sh2_registers::MACL, true}, {LDS_L_PR, &sh2_registers::PR, true},
  };
  std::mt19937 rng(1995);
  for (const auto& load : loads) {
    for (unsigned m = 0; m < 16; ++m) {
      for (int i = 0; i < 8; ++i) {
        randomize_registers(rng, [&] { return rng(); });
        const std::uint32_t value = i == 0 ? 0xFFFFFFFF : rng();
        if (load.from_memory) {
          sh2_state.R[m] = rng() % (memory_size - 3);  // any alignment
          put_bytes(sh2_state.R[m], value, 4);
        } else {
          sh2_state.R[m] = value;
        }
        sh2_registers want = sh2_state;
        want.*load.target = load.target == &sh2_registers::SR ? value & 0x3F3 : value;
        if (load.from_memory) want.R[m] += 4;
        want.PC += 2;
        step(load.instruction(m));
        ASSERT_EQ(registers(sh2_state), registers(want)) << std::hex << "word " << load.instruction(m);
      }
    }
  }
}

}  // namespace
