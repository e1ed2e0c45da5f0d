#include "sh2.h"

#include <sys/mman.h>

sh2_registers sh2_state{};
// Aligned so that any stretch of it can be backed by large pages.
alignas(large_page) std::array<std::uint8_t, memory_size> sh2_memory{};

void prepare_memory(std::uint32_t size) {
#ifdef MADV_HUGEPAGE
  // Below one large page the small ones are cheaper: a tiny file must not
  // cost a start-up the zeroing of 2 MiB.
  if (size < large_page) return;
  const std::size_t span = (std::size_t{size} + large_page - 1) / large_page * large_page;
  madvise(sh2_memory.data(), span, MADV_HUGEPAGE);  // only advice: no result to act on
#else
  static_cast<void>(size);
#endif
}
