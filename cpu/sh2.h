// The emulated SH-2: its registers, the interpreter's own control words, and
// the flat 16 MiB memory with its six accessors.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct sh2_registers {
  std::array<std::uint32_t, 16> R;
  std::uint32_t PC;  // address of the instruction being executed
  std::uint32_t PR;
  std::uint32_t SR;
  std::uint32_t GBR;
  std::uint32_t VBR;
  std::uint32_t MACH;
  std::uint32_t MACL;

  std::uint16_t instruction_word;  // the word being executed; handlers decode it
  std::uint16_t delay_countdown;   // 2 when a delayed branch is armed, then counted down
  std::uint32_t branch_target;     // where the pending delayed branch goes
  std::uint16_t halt_flag;         // 1 once an unimplemented word has run, or the trace is to end
};

extern sh2_registers sh2_state;

// SR bits.
inline constexpr std::uint32_t SR_T = 1u << 0;
inline constexpr std::uint32_t SR_S = 1u << 1;
inline constexpr std::uint32_t SR_Q = 1u << 8;
inline constexpr std::uint32_t SR_M = 1u << 9;
inline constexpr std::uint32_t SR_WRITABLE = 0x3F3;

// Without a branch: flags computed from random data are not predictable.
inline void set_sr_bit(std::uint32_t bit, bool on) {
  sh2_state.SR = (sh2_state.SR & ~bit) | ((0u - std::uint32_t{on}) & bit);
}
inline bool sr_bit(std::uint32_t bit) { return (sh2_state.SR & bit) != 0; }

// ---------------------------------------------------------------------------
// Memory. Byte A of the array is emulated address A. Multi-byte values are
// little-endian, for instruction fetch and data alike.
//
// Addresses at or beyond the end read as zero and take no writes, byte by
// byte: a word or long that straddles the end keeps its bytes inside and
// reads zeros for the rest. A program that strays outside therefore fetches
// 0x0000, which halts it, and can never reach anything beyond the array.

inline constexpr std::uint32_t memory_size = 0x1000000;
extern std::array<std::uint8_t, memory_size> sh2_memory;

// Asks for the first size bytes of memory, which a load is about to fill, to
// be backed by large pages where the system has them: a file of megabytes
// then costs a handful of page faults instead of one per 4 KiB.
inline constexpr std::size_t large_page = 0x200000;
void prepare_memory(std::uint32_t size);

inline std::uint32_t mem_read_byte(std::uint32_t address) {
  return address < memory_size ? sh2_memory[address] : 0u;
}

inline std::uint32_t mem_read_word(std::uint32_t address) {
  if (address < memory_size - 1) [[likely]] {
    if constexpr (std::endian::native == std::endian::little) {
      std::uint16_t value;  // one load: the host's order is the memory's
      std::memcpy(&value, &sh2_memory[address], 2);
      return value;
    }
    return sh2_memory[address] | static_cast<std::uint32_t>(sh2_memory[address + 1]) << 8;
  }
  return mem_read_byte(address) | mem_read_byte(address + 1) << 8;
}

inline std::uint32_t mem_read_long(std::uint32_t address) {
  return mem_read_word(address) | mem_read_word(address + 2) << 16;
}

inline std::uint32_t mem_write_byte(std::uint32_t address, std::uint32_t value) {
  if (address < memory_size) sh2_memory[address] = static_cast<std::uint8_t>(value);
  return value & 0xFF;
}

inline std::uint32_t mem_write_word(std::uint32_t address, std::uint32_t value) {
  mem_write_byte(address + 1, value >> 8);
  mem_write_byte(address, value);
  return value & 0xFFFF;
}

inline std::uint32_t mem_write_long(std::uint32_t address, std::uint32_t value) {
  mem_write_word(address, value);
  mem_write_word(address + 2, value >> 16);
  return value;
}
