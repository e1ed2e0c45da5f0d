#include <gtest/gtest.h>

#include "sh2.h"

namespace {

class memory : public ::testing::Test {
 protected:
  void SetUp() override { sh2_memory.fill(0); }
};

TEST_F(memory, multi_byte_values_are_little_endian) {
  mem_write_word(0x10, 0x1234);
  EXPECT_EQ(sh2_memory[0x10], 0x34);
  EXPECT_EQ(sh2_memory[0x11], 0x12);
  EXPECT_EQ(mem_read_word(0x10), 0x1234u);

  for (std::uint32_t i = 0; i < 4; ++i) sh2_memory[i] = static_cast<std::uint8_t>(0x78 - 0x22 * i);
  EXPECT_EQ(mem_read_long(0), 0x12345678u);
  EXPECT_EQ(mem_read_word(0), 0x5678u);
  EXPECT_EQ(mem_read_word(2), 0x1234u);

  mem_write_long(0x100, 0xA1B2C3D4);
  EXPECT_EQ(sh2_memory[0x100], 0xD4);
  EXPECT_EQ(sh2_memory[0x103], 0xA1);
}

TEST_F(memory, unaligned_accesses_compose_the_same_bytes) {
  for (std::uint32_t i = 0; i < 8; ++i) sh2_memory[i] = static_cast<std::uint8_t>(0x10 + i);
  EXPECT_EQ(mem_read_word(1), 0x1211u);
  EXPECT_EQ(mem_read_long(3), 0x16151413u);
  mem_write_long(5, 0xAABBCCDD);
  EXPECT_EQ(sh2_memory[4], 0x14);
  EXPECT_EQ(sh2_memory[5], 0xDD);
  EXPECT_EQ(sh2_memory[8], 0xAA);
  EXPECT_EQ(sh2_memory[9], 0x00);
}

TEST_F(memory, writes_return_the_stored_part_of_the_value) {
  EXPECT_EQ(mem_write_byte(0x20, 0x1FF), 0xFFu);
  EXPECT_EQ(sh2_memory[0x20], 0xFF);
  EXPECT_EQ(mem_write_word(0x22, 0xABCD1234), 0x1234u);
  EXPECT_EQ(sh2_memory[0x22], 0x34);
  EXPECT_EQ(sh2_memory[0x23], 0x12);
  EXPECT_EQ(sh2_memory[0x24], 0x00);
  EXPECT_EQ(mem_write_long(0x30, 0xDEADBEEF), 0xDEADBEEFu);
}

TEST_F(memory, untouched_memory_reads_zero) {
  EXPECT_EQ(mem_read_long(0x123456), 0u);
  EXPECT_EQ(mem_read_word(memory_size - 2), 0u);
}

// Outside the array reads give zero and writes are dropped, byte by byte, so
// an access that straddles the end keeps the bytes that lie inside.
TEST_F(memory, addresses_outside_the_array_read_zero_and_take_no_writes) {
  const std::uint32_t last = memory_size - 1;
  sh2_memory[last] = 0xAB;
  sh2_memory[0] = 0xCD;

  struct {
    std::uint32_t address;
    std::uint32_t word, lng;
  } const reads[] = {
      {last, 0x00AB, 0x000000AB},
      {memory_size, 0, 0},
      {0xFFFFFFFF, 0xCD00, 0x0000CD00},  // address + 1 wraps to byte 0
      {0x80000000, 0, 0},
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(r.address);
    EXPECT_EQ(mem_read_byte(r.address), r.word & 0xFF);
    EXPECT_EQ(mem_read_word(r.address), r.word);
    EXPECT_EQ(mem_read_long(r.address), r.lng);
  }

  EXPECT_EQ(mem_write_byte(memory_size, 0x1FF), 0xFFu);
  EXPECT_EQ(mem_write_long(memory_size - 2, 0x11223344), 0x11223344u);
  EXPECT_EQ(sh2_memory[memory_size - 2], 0x44);
  EXPECT_EQ(sh2_memory[memory_size - 1], 0x33);
  EXPECT_EQ(sh2_memory[0], 0xCD) << "a write past the end must not wrap";
  EXPECT_EQ(mem_read_long(memory_size), 0u);
}

}  // namespace
