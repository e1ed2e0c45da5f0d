// Any bytes as a CloneCD descriptor, and as the first bytes a format is told by.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc_table_checks.h"
#include "image_layouts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  detect_disc_format("images/disc", text, text.substr(size - std::min<std::size_t>(size, 12)));
  read_checked(read_ccd, "images/disc.ccd", text, 1 << 20);
  return 0;
}
