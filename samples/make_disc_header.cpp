// Writes the sample disc image: the 3584-byte initial-program area of a made-up
// Saturn disc, a 256-byte header followed by an empty body. ruvo reads it like
// a drive: `ruvo -d sample_disc.bin -i`.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t area_size = 3584;
std::array<char, area_size> area{};

// Text fields are padded with spaces and carry no terminator.
void put_text(std::size_t offset, std::size_t width, std::string_view text) {
  std::memset(area.data() + offset, ' ', width);
  std::memcpy(area.data() + offset, text.data(), text.size() < width ? text.size() : width);
}

// The console reads its numbers big-endian, so the disc holds them that way.
void put_number(std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    area[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: %s <output image>\n", argc > 0 ? argv[0] : "make_disc_header");
    return 2;
  }
  put_text(0x00, 16, "SEGA SEGASATURN ");
  put_text(0x10, 16, "RUVO DEVELOPERS");
  put_text(0x20, 10, "RV-00014");
  put_text(0x2A, 6, "V1.004");
  put_text(0x30, 8, "19961122");
  put_text(0x38, 8, "CD-1/1");
  put_text(0x40, 10, "JTUE");
  put_text(0x4A, 6, "");
  put_text(0x50, 16, "J");
  put_text(0x60, 112, "RUVO SAMPLE DISC");
  put_text(0xD0, 16, "");
  put_number(0xE0, 0x00001800);  // IP size
  put_number(0xE8, 0x06002000);  // master SP
  put_number(0xEC, 0x06001000);  // slave SP
  put_number(0xF0, 0x06004000);  // first read address
  put_number(0xF4, 0x00000000);  // first read size

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(area.data(), 1, area.size(), out) == area.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
