// Any bytes as a CloneCD descriptor, and as the first bytes a format is told by.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc_table_checks.h"
#include "image_layouts.h"
#include "output_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const output_sink quiet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  detect_disc_format("images/disc", text, text.substr(size - std::min<std::size_t>(size, 12)));
  disc_table table;
  const int result = read_ccd("images/disc.ccd", text, table);
  check(result == 0 || result == 1);
  if (result == 0) return 0;
  check_table(table);
  check_against_size(table, 1 << 20);
  return 0;
}
