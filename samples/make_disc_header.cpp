// Writes the sample disc of a made-up Saturn game in the forms ruvo reads:
// - a plain image: the 3584-byte initial-program area, a 256-byte header
//   followed by an empty body, as a drive delivers it;
// - a raw image: the data track in 2352-byte Mode 1 sectors, then a short
//   audio track (a two-second pregap of silence and one second of a tone);
// - a CUE sheet and a cdrdao TOC file that name the raw image, which must lie
//   in the same folder.
// `ruvo -d sample_disc.cue -i` lists the same header as the plain image.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "header_layout.h"
#include "raw_sector.h"

namespace {

std::array<char, area_size> area{};

// Text fields are padded with spaces and carry no terminator.
void put_text(header_field field, std::string_view text) {
  std::memset(area.data() + field.offset, ' ', field.length);
  std::memcpy(area.data() + field.offset, text.data(),
              text.size() < field.length ? text.size() : field.length);
}

// The console reads its numbers big-endian, so the disc holds them that way.
void put_number(header_field field, std::uint32_t value) {
  for (std::size_t i = 0; i < field.length; ++i)
    area[field.offset + i] = static_cast<char>(value >> (24 - 8 * i));
}

// The data track's length: the sixteen sectors of the disc's system area.
constexpr std::uint32_t data_sectors = 16;
// The audio track: its pregap, then the tone (75 sectors are one second).
constexpr std::uint32_t pregap_sectors = 150;
constexpr std::size_t tone_sectors = 75;

constexpr double sample_rate = raw_sector::audio_rate;
constexpr double tone_hz = 440;

std::string raw_image() {
  std::string image = raw_sector::raw_sectors({area.data(), area.size()}, 1, data_sectors);
  image.resize(image.size() + pregap_sectors * raw_sector::size);
  const double pi = std::acos(-1.0);
  for (std::size_t frame = 0; frame < tone_sectors * raw_sector::audio_frames_a_sector; ++frame) {
    const auto sample = static_cast<std::int16_t>(
        std::lround(8000 * std::sin(2 * pi * tone_hz * static_cast<double>(frame) / sample_rate)));
    const auto bits = static_cast<std::uint16_t>(sample);
    for (int channel = 0; channel < 2; ++channel) {
      image.push_back(static_cast<char>(bits & 0xFF));
      image.push_back(static_cast<char>(bits >> 8));
    }
  }
  return image;
}

// mm:ss:ff of a sector count.
std::string msf(std::uint32_t sectors) {
  const raw_sector::msf time = raw_sector::msf_of(sectors);
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(time.minutes),
                static_cast<unsigned>(time.seconds), static_cast<unsigned>(time.frames));
  return text;
}

std::string cue_sheet(const std::string& raw_path) {
  std::string sheet = "REM The ruvo sample disc: a data track and a short audio track.\n";
  sheet += "FILE \"" + raw_path.substr(raw_path.rfind('/') + 1) + "\" BINARY\n";
  sheet += "  TRACK 01 MODE1/2352\n";
  sheet += "    INDEX 01 00:00:00\n";
  sheet += "  TRACK 02 AUDIO\n";
  sheet += "    INDEX 00 " + msf(data_sectors) + "\n";
  sheet += "    INDEX 01 " + msf(data_sectors + pregap_sectors) + "\n";
  return sheet;
}

// The same disc as cdrdao describes it. cdrdao's raw audio is big-endian, the
// raw image's is not: SWAP says so.
std::string toc_file(const std::string& raw_path) {
  const std::string name = raw_path.substr(raw_path.rfind('/') + 1);
  std::string toc = "// The ruvo sample disc: a data track and a short audio track.\nCD_ROM\n";
  toc += "TRACK MODE1_RAW\n";
  toc += "  DATAFILE \"" + name + "\" " + msf(data_sectors) + "\n";
  toc += "TRACK AUDIO\n";
  toc += "  FILE \"" + name + "\" SWAP #" + std::to_string(data_sectors * raw_sector::size) +
         " 0 " + msf(pregap_sectors + tone_sectors) + "\n";
  toc += "  START " + msf(pregap_sectors) + "\n";
  return toc;
}

bool write_file(const char* path, const void* bytes, std::size_t size) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return false;
  }
  const bool written = std::fwrite(bytes, 1, size, out) == size;
  if (std::fclose(out) != 0 || !written) {
    std::perror(path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "Usage: %s <plain image> <raw image> <cue sheet> <toc file>\n",
                 argc > 0 ? argv[0] : "make_disc_header");
    return 2;
  }
  put_text(hardware_id, saturn_hardware_id);
  put_text(maker_id, "RUVO DEVELOPERS");
  put_text(product_number, "RV-00014");
  put_text(version, "V1.004");
  put_text(release_date, "19961122");
  put_text(device_info, "CD-1/1");
  put_text(area_codes, "JTUE");
  put_text(after_area_codes, "");
  put_text(peripherals, "J");
  put_text(title, "RUVO SAMPLE DISC");
  put_text(after_title, "");
  put_number(ip_size, 0x00001800);
  put_number(master_sp, 0x06002000);
  put_number(slave_sp, 0x06001000);
  put_number(first_read_address, 0x06004000);
  put_number(first_read_size, 0x00000000);

  const std::string raw = raw_image();
  const std::string sheet = cue_sheet(argv[2]);
  const std::string toc = toc_file(argv[2]);
  return write_file(argv[1], area.data(), area.size()) &&
                 write_file(argv[2], raw.data(), raw.size()) &&
                 write_file(argv[3], sheet.data(), sheet.size()) &&
                 write_file(argv[4], toc.data(), toc.size())
             ? 0
             : 1;
}
