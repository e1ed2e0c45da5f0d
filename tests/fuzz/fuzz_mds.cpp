// Any bytes as an Alcohol MDS descriptor, read through the bounded reader the disc source gives
// it: the sanitizers catch any access outside the bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc_table_checks.h"
#include "image_layouts.h"
#include "output_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const output_sink quiet;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  disc_table table;
  const int result = read_mds("images/disc.mds", memory_bytes(bytes), table);
  check(result == 0 || result == 1);
  if (result == 0) return 0;
  check_table(table);
  check_against_size(table, size);
  return 0;
}
