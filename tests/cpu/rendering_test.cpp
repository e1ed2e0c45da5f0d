// The output path renders numbers as printf does, at the edges of each way it
// has: digit counts, the ends of its tables, signs, and the argument types
// that have paths of their own (8-bit immediates and displacements, 16-bit
// instruction words).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "output.h"

namespace {

TEST(rendering, numbers_come_out_as_printf_gives_them) {
  std::string got, want;
  char text[96];
  out::capture_into(&got);

  const std::uint32_t words[] = {0,      1,          9,          10,         15,        16,
                                 99,     100,        255,        256,        999,       1000,
                                 4095,   9999,       10000,      65535,      65536,     99999,
                                 100000, 0x7FFFFFFF, 0x80000000, 0xFFFFFF80, 0xFFFFFFFF};
  for (const std::uint32_t v : words) {
    out::print<"%d|%lu|%X|%08X|%04X|%c\n">(v, v, v, v, v, 'x');
    std::snprintf(text, sizeof text, "%d|%lu|%X|%08X|%04X|%c\n", static_cast<int>(v),
                  static_cast<unsigned long>(v), v, v, v, 'x');
    want += text;
  }
  for (unsigned b = 0; b < 256; ++b) {
    const auto u8 = static_cast<std::uint8_t>(b);
    const auto s8 = static_cast<std::int8_t>(b);
    const auto u16 = static_cast<std::uint16_t>(b * 257);
    out::print<"%X %d %X %d %04X %X\n">(u8, u8, s8, s8, u16, u16);
    std::snprintf(text, sizeof text, "%X %d %X %d %04X %X\n", unsigned{u8}, int{u8},
                  static_cast<unsigned>(int{s8}), int{s8}, unsigned{u16}, unsigned{u16});
    want += text;
  }
  out::print<"%s, %s.\n">("text", "");
  want += "text, .\n";

  out::flush();
  out::capture_into(nullptr);
  EXPECT_EQ(got, want);
}

}  // namespace
