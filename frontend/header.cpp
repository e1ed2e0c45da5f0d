#include "header.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>

#include "disc_source.h"
#include "disc_text.h"
#include "error.h"
#include "output.h"

saturn_game current_game{};

namespace {

// Input devices that a disc may ask for and that are not emulated, tested in
// this order.
struct input_device {
  char letter;
  const char* name;
};
constexpr input_device unemulated_devices[] = {
    {'A', "Analog Joystick"}, {'M', "Mouse"},    {'K', "Keyboard"},
    {'S', "Steering Wheel"},  {'T', "Multitap"},
};

// The record seen as the bytes it is made of. The title and the device
// information are texts without a terminator that run on into the fields after
// them, so they are read through this view and never past its end.
char* record_bytes() { return reinterpret_cast<char*>(&current_game); }
char* field_text(header_field field) { return record_bytes() + field.offset; }

// Little-endian on every host: the byte at the lower offset is the least
// significant (unlike the SH-2, which reads the disc big-endian).
std::uint32_t field_number(header_field field) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(field_text(field));
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void put_raw(header_field field) { put_disc_text({field_text(field), field.length}); }

int read_failed() { return error("Can not read the CD header!\n"); }

// One scanf "%d" conversion over [at, end): optional white space, an optional
// sign, then at least one digit. On a match stores the number (saturated to the
// int32 range, where scanf leaves overflow undefined) and moves `at` past it; on
// a mismatch leaves `value` as it was.
bool scan_decimal(const char*& at, const char* end, std::int32_t& value) {
  while (at < end && std::isspace(static_cast<unsigned char>(*at))) ++at;
  bool negative = false;
  if (at < end && (*at == '+' || *at == '-')) negative = *at++ == '-';
  if (at == end || !std::isdigit(static_cast<unsigned char>(*at))) return false;
  // Past 2^31 more digits cannot change the saturated result.
  constexpr std::int64_t limit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; at < end && std::isdigit(static_cast<unsigned char>(*at)); ++at)
    if (magnitude < limit) magnitude = magnitude * 10 + (*at - '0');
  value = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      negative ? -magnitude : magnitude, std::numeric_limits<std::int32_t>::min(),
      std::numeric_limits<std::int32_t>::max()));
  return true;
}

// The device information as sscanf(text, "CD-%d/%d", &disc_number, &disc_count)
// reads it: the text starts in the 8-byte field and runs on to its first zero
// byte, here at the latest the end of the area read (where the record's
// zero disc_count would have ended it anyway). A number the scan does not reach
// keeps its value.
void scan_disc_numbers() {
  const char* at = field_text(device_info);
  const char* const end = record_bytes() + area_size;
  const auto literal = [&at, end](char wanted) {
    if (at == end || *at != wanted) return false;
    ++at;
    return true;
  };
  if (!literal('C') || !literal('D') || !literal('-')) return;
  if (!scan_decimal(at, end, current_game.disc_number)) return;
  if (!literal('/')) return;
  scan_decimal(at, end, current_game.disc_count);
}

}  // namespace

int read_header() {
  std::array<char, header_size> scratch{};
  if (read_disc(scratch.data(), scratch.size()) != scratch.size()) return read_failed();
  current_game.ip_header = scratch;
  auto& body = current_game.ip_body;
  if (read_disc(body.data(), body.size()) != body.size()) return read_failed();
  return 1;
}

int validify_header() {
  if (std::strncmp(field_text(hardware_id), saturn_hardware_id.data(), hardware_id.length) != 0)
    return error(
        "Invalid CD Header. Make sure there is a Saturn CD in the\n"
        "drive and that the CD is clean and free of scratches.\n");
  if (field_text(version)[0] != 'V')
    return error("Silly error: version does not begin with a 'V'!\n");
  scan_disc_numbers();
  if (current_game.disc_number != 1) return error("Not 1st cd!\n");
  for (const auto& device : unemulated_devices)
    if (strnchr(field_text(peripherals), device.letter, static_cast<int>(peripherals.length)))
      return error("Device: %s used but not emulated.\n", device.name);
  return 1;
}

std::string_view game_title() {
  // The search for the title's end may run over the whole rest of the record;
  // once the header has passed its test, disc_number holds 1, so a zero byte
  // lies inside it.
  return fmttitle(field_text(title), sizeof(saturn_game) - title.offset);
}

void display_header() {
  put_text("Hardware: ");
  put_raw(hardware_id);
  put_text("\nMaker ID: ");
  put_raw(maker_id);
  put_text("\nProduct Number: ");
  put_raw(product_number);
  put_text("\nVersion: ");
  put_raw(version);
  put_text("\nRelease: ");
  put_raw(release_date);
  put_format(" (%s)\nDevice Info: ", strdate(field_text(release_date)).c_str());
  put_raw(device_info);
  put_text("\nArea Codes: ");
  put_raw(area_codes);
  put_text("\nPariphreals(sp?): ");
  put_raw(peripherals);
  put_text("\nTitle: ");
  put_disc_text(game_title());
  put_text("\n");

  struct number_line {
    const char* label;
    header_field field;
  };
  constexpr number_line numbers[] = {
      {"IP Size: ", ip_size},
      {"Master SP: ", master_sp},
      {"Slave  SP: ", slave_sp},
      {"First Read Address: ", first_read_address},
      {"First Read Size: ", first_read_size},
  };
  for (const auto& line : numbers) {
    const std::uint32_t value = field_number(line.field);
    // Through unsigned long, so "%lu" shows the 32-bit value on every host.
    put_format("%s$%08X (%lu)\n", line.label, static_cast<unsigned>(value),
               static_cast<unsigned long>(value));
  }
}
