// Any bytes as an Alcohol MDS descriptor, read through the bounded reader the disc source gives
// it: the sanitizers catch any access outside the bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc_table_checks.h"
#include "image_layouts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  read_checked(read_mds, "images/disc.mds", memory_bytes(bytes), size);
  return 0;
}
