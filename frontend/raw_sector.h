// A raw CD-ROM sector as a raw image (the usual .bin dump) stores it: 2352
// bytes of sync pattern, header and data. Used by the reader and, through
// put_raw_sector, by the sample generator and the tests that write raw images.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace raw_sector {

constexpr std::size_t size = 2352;
// Every data sector begins with these 12 bytes.
constexpr std::array<unsigned char, 12> sync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
inline bool starts_with_sync(std::string_view bytes) {
  return bytes.size() >= sync.size() &&
         std::equal(sync.begin(), sync.end(), bytes.begin(),
                    [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}
// The header after the sync: the sector's address as minutes, seconds and
// frames in BCD, then the mode byte.
constexpr std::size_t address_offset = 12;
constexpr std::size_t mode_offset = 15;
// Mode 2 puts an 8-byte subheader (written twice: file, channel, submode,
// coding) between the header and the data; the submode's form-2 bit says
// whether the data is 2048 bytes with error correction (form 1) or 2324
// without (form 2).
constexpr std::size_t submode_offset = 18;
constexpr unsigned char form2_bit = 0x20;
// Where the 2048 bytes of user data begin.
constexpr std::size_t mode1_data_offset = 16;
constexpr std::size_t mode2_form1_data_offset = 24;
constexpr std::size_t data_size = 2048;
// Images that keep a Mode 2 sector in 2336 bytes leave out its sync and
// header: the subheader comes first, the submode at 2, form 1 data at 8.
constexpr std::size_t mode2_stored_from = address_offset + 4;
constexpr std::size_t stored_mode2_submode = submode_offset - mode2_stored_from;
constexpr std::size_t stored_mode2_data = mode2_form1_data_offset - mode2_stored_from;

// Where a sector with this mode byte (and, for mode 2, this submode) keeps the
// user data ruvo reads, or 0 for a sector that holds none: mode 0, Mode 2
// form 2, or an unknown mode.
constexpr std::size_t data_offset(unsigned char mode, unsigned char submode) {
  if (mode == 1) return mode1_data_offset;
  if (mode == 2 && (submode & form2_bit) == 0) return mode2_form1_data_offset;
  return 0;
}
// Sector 0 of a disc's first track lies two seconds (150 frames) into the disc.
constexpr unsigned lead_in_frames = 150;
constexpr unsigned frames_per_second = 75;
// An audio sector holds 1/75 second of CD audio: 588 frames of a 16-bit
// little-endian sample for the left channel and one for the right.
constexpr int audio_rate = 44100;
constexpr std::size_t audio_frame_bytes = 4;
static_assert(audio_rate / frames_per_second * audio_frame_bytes == size);
constexpr std::size_t audio_frames_a_sector = size / audio_frame_bytes;

// A place on the disc in minutes, seconds and frames (sectors, 75 a second),
// as CUE sheets write their times and sector headers their addresses.
struct msf {
  std::uint32_t minutes, seconds, frames;
};
constexpr msf msf_of(std::uint32_t sectors) {
  return {sectors / frames_per_second / 60, sectors / frames_per_second % 60,
          sectors % frames_per_second};
}
constexpr std::uint64_t sectors_of(msf time) {
  return (std::uint64_t{time.minutes} * 60 + time.seconds) * frames_per_second + time.frames;
}

// Writes the sync pattern, the header of sector `lba` with the given mode,
// the form-1 subheader for mode 2, and the 2048 bytes of `data` into the 2352
// bytes at `sector`. The error-detection and correction bytes stay zero: ruvo
// does not look at them.
inline void put_raw_sector(unsigned char* sector, std::uint32_t lba, unsigned char mode,
                           const unsigned char* data) {
  std::memset(sector, 0, size);
  std::memcpy(sector, sync.data(), sync.size());
  const msf address = msf_of(lba + lead_in_frames);
  const auto bcd = [](std::uint32_t value) {
    return static_cast<unsigned char>(value / 10 * 16 + value % 10);
  };
  sector[address_offset] = bcd(address.minutes);
  sector[address_offset + 1] = bcd(address.seconds);
  sector[address_offset + 2] = bcd(address.frames);
  sector[mode_offset] = mode;
  std::memcpy(sector + (mode == 2 ? mode2_form1_data_offset : mode1_data_offset), data, data_size);
}

// `data` as the user data of `count` raw sectors of the given mode from
// sector 0 on: a raw image's track, the last sector padded with zeros.
inline std::string raw_sectors(std::string_view data, unsigned char mode, std::size_t count) {
  std::string image(count * size, '\0');
  std::array<unsigned char, data_size> user{};
  for (std::size_t i = 0; i < count; ++i) {
    user.fill(0);
    const std::string_view piece = data.substr(std::min(data.size(), i * data_size), data_size);
    std::memcpy(user.data(), piece.data(), piece.size());
    put_raw_sector(reinterpret_cast<unsigned char*>(&image[i * size]),
                   static_cast<std::uint32_t>(i), mode, user.data());
  }
  return image;
}

}  // namespace raw_sector
