// Any bytes as the loaded image, traced for a bounded number of steps with the
// output kept in memory. The state must stay within its bounds; the sanitizers
// catch any access outside the emulated memory.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "decoder.h"
#include "fuzz_target.h"
#include "output.h"
#include "sh2.h"

namespace {

// Enough to go round any loop the input can hold a few times.
constexpr int step_limit = 4096;

std::string sink;

// Zeroes the emulated memory. Clearing 16 MiB for every input would cost more
// than running it, so whole pages are handed back to the kernel, which brings
// them back zeroed only where they are used again.
void clear_memory() {
  const auto base = reinterpret_cast<std::uintptr_t>(sh2_memory.data());
  const std::uintptr_t page = 4096;
  const std::uintptr_t first = (base + page - 1) & ~(page - 1);
  const std::uintptr_t last = (base + memory_size) & ~(page - 1);
  std::memset(sh2_memory.data(), 0, first - base);
  madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
  std::memset(reinterpret_cast<void*>(last), 0, base + memory_size - last);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    out::capture_into(&sink);
    build_decode_table();
    return true;
  }();
  check(ready);

  clear_memory();
  sh2_state = {};
  const auto loaded = static_cast<std::uint32_t>(size < memory_size ? size : memory_size);
  for (std::uint32_t i = 0; i < loaded; ++i) mem_write_byte(i, data[i]);

  look_ahead next;
  for (int steps = 0; steps < step_limit && trace_goes_on(loaded); ++steps) {
    trace_instruction(next);
    check(sh2_state.halt_flag <= 1);
    check((sh2_state.SR & ~SR_WRITABLE) == 0);
    check(sh2_state.delay_countdown <= 1);
  }
  out::flush();
  check(sink.empty() || sink.back() == '\n');
  sink.clear();
  return 0;
}
