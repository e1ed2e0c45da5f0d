// The branches in-process over every displacement and every register: the
// decision, the target, PR, the arming of the delay slot and the printed text,
// against 64-bit address arithmetic and printf.
#include <cstdio>
#include <iterator>
#include <random>
#include <string_view>

#include "cpu_fixture.h"

namespace {

using namespace sh2_asm;
using u32 = std::uint32_t;

enum class operand { d8, d12, reg };
enum class taken_when { always, t_clear, t_set };

std::int64_t relative(std::int64_t a, std::int64_t d) { return a + 4 + 2 * d; }
std::int64_t plus_register(std::int64_t a, std::int64_t rm) { return a + rm; }
std::int64_t register_plus_4(std::int64_t, std::int64_t rm) { return rm + 4; }

struct branch_form {
  const char* mnemonic;
  isa::bit_pattern instruction;
  operand kind;
  taken_when when;
  bool delayed;
  bool call;  // PR = the branch's own address
  std::int64_t (*target)(std::int64_t a, std::int64_t x);  // x: the displacement or Rm
};

const branch_form forms[] = {
    {"BF", BF, operand::d8, taken_when::t_clear, false, false, relative},
    {"BF/S", BF_S, operand::d8, taken_when::t_clear, true, false, relative},
    {"BT", BT, operand::d8, taken_when::t_set, false, false, relative},
    {"BT/S", BT_S, operand::d8, taken_when::t_set, true, false, relative},
    {"BRA", BRA, operand::d12, taken_when::always, true, false, relative},
    {"BSR", BSR, operand::d12, taken_when::always, true, true, relative},
    {"BRAF", BRAF, operand::reg, taken_when::always, true, false, plus_register},
    {"BSRF", BSRF, operand::reg, taken_when::always, true, true, plus_register},
    {"JMP", JMP, operand::reg, taken_when::always, true, false, register_plus_4},
    {"JSR", JSR, operand::reg, taken_when::always, true, true, register_plus_4},
};

using branches = cpu_test;

TEST_F(branches, every_operand_against_64_bit_address_arithmetic) {
  std::mt19937 rng{0xB4A};
  const u32 addresses[] = {0, 0x1000, 0xFFFFFF00};
  const u32 register_values[] = {0, 0x20, 0xFFFFFFF0, 0x80000000, 0xFFFFFFFF};

  for (const auto& form : forms) {
    SCOPED_TRACE(form.mnemonic);
    const unsigned fields = form.kind == operand::d8 ? 0x100 : form.kind == operand::d12 ? 0x1000 : 16;
    const std::size_t variants = form.kind == operand::reg ? std::size(register_values) : 1;
    for (unsigned field = 0; field < fields; ++field) {
      for (std::size_t variant = 0; variant < variants; ++variant) {
        for (std::size_t k = 0; k <= std::size(addresses); ++k) {
          const u32 a = k < std::size(addresses) ? addresses[k] : static_cast<u32>(rng()) & ~1u;
          for (const bool t : {false, true}) {
            sh2_state = {};
            for (auto& r : sh2_state.R) r = rng();
            sh2_state.SR = (rng() & SR_WRITABLE & ~SR_T) | t;
            sh2_state.PR = rng();
            sh2_state.PC = a;

            std::int64_t x = 0;
            const std::uint16_t word = form.instruction(field);
            char text[48];
            if (form.kind == operand::reg) {
              sh2_state.R[field] = register_values[variant];
              x = register_values[variant];
              std::snprintf(text, sizeof text, "%s @R%u\n", form.mnemonic, field);
            } else {
              const unsigned bits = form.kind == operand::d8 ? 8 : 12;
              x = field >= 1u << (bits - 1) ? std::int64_t{field} - (1 << bits) : field;
              const auto as_word = static_cast<u32>(x);
              if (form.mnemonic == std::string_view("BRA"))  // BRA alone prints the displacement unsigned
                std::snprintf(text, sizeof text, "%s $%X (%lu)\n", form.mnemonic, as_word,
                              static_cast<unsigned long>(as_word));
              else
                std::snprintf(text, sizeof text, "%s $%X (%d)\n", form.mnemonic, as_word, static_cast<int>(x));
            }
            const sh2_registers before = sh2_state;
            const bool taken = form.when == taken_when::always || t == (form.when == taken_when::t_set);
            const auto target = static_cast<u32>(form.target(a, x));

            ASSERT_EQ(step(word), text);
            ASSERT_EQ(sh2_state.PR, taken && form.call ? a : before.PR) << std::hex << a;
            ASSERT_EQ(sh2_state.R, before.R);
            ASSERT_EQ(sh2_state.SR, before.SR);
            if (taken && form.delayed) {
              ASSERT_EQ(sh2_state.PC, a + 2) << "the delay slot runs next";
              ASSERT_EQ(sh2_state.delay_countdown, 1);
              step(NOP());
              ASSERT_EQ(sh2_state.PC, target) << std::hex << a << " " << x;
            } else {
              ASSERT_EQ(sh2_state.PC, taken ? target : a + 2) << std::hex << a << " " << x;
              ASSERT_EQ(sh2_state.delay_countdown, 0) << "nothing is armed";
            }
          }
        }
      }
    }
  }
}

}  // namespace
