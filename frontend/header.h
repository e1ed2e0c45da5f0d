// The disc's initial-program area: the 256-byte header and the bytes after it,
// as the drive delivers them from its first byte on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct saturn_game {
  std::array<char, 256> ip_header;  // the header exactly as read
  std::array<char, 3328> ip_body;   // the rest of the area; nothing here interprets it
  std::int32_t disc_count;          // second number of "CD-n/m", 0 until parsed
  std::int32_t disc_number;         // first number of "CD-n/m", 0 until parsed
};

// The text routines run from one field into the next, so the 3584 bytes must lie
// in disc order with nothing between them.
static_assert(offsetof(saturn_game, ip_body) == 256);
static_assert(offsetof(saturn_game, disc_count) == 3584);
static_assert(offsetof(saturn_game, disc_number) == 3588);
static_assert(sizeof(saturn_game) == 3592);

extern saturn_game current_game;

// A fixed-width field of the header; text fields carry no terminator.
struct header_field {
  std::size_t offset;
  std::size_t length;
};

constexpr header_field hardware_id{0x00, 16};
constexpr header_field maker_id{0x10, 16};
constexpr header_field product_number{0x20, 10};
constexpr header_field version{0x2A, 6};
constexpr header_field release_date{0x30, 8};
constexpr header_field device_info{0x38, 8};
constexpr header_field area_codes{0x40, 10};
constexpr header_field peripherals{0x50, 16};
constexpr header_field title{0x60, 112};
constexpr header_field ip_size{0xE0, 4};
constexpr header_field master_sp{0xE8, 4};
constexpr header_field slave_sp{0xEC, 4};
constexpr header_field first_read_address{0xF0, 4};
constexpr header_field first_read_size{0xF4, 4};

// Reads the first 3584 bytes from the open device into current_game.
// 1 when both reads were complete, else 0 after the message.
int read_header(int device);

// Tests the header; 1 when it passes, else 0 after the first failing test's message.
int validify_header();

// Lists every header field on standard output, fourteen lines.
void display_header();

// The title as fmttitle trims it; the record is left as it was read.
std::string_view game_title();
