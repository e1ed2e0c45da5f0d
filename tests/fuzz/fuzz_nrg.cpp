// Any bytes as a Nero NRG image, read through the bounded reader the disc source gives
// it: the sanitizers catch any access outside the bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc_table_checks.h"
#include "image_layouts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const disc_table table = read_checked(read_nrg, "images/disc.nrg", memory_bytes(bytes), size);
  // The sectors lie before the chunk list, within the image itself.
  for (const disc_track& track : table.tracks)
    check(track.pieces.front().offset + track.pieces.front().length < size);
  return 0;
}
