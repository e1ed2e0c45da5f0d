// The disc's initial-program area: the header and the bytes after it, as the
// drive delivers them from its first byte on (header_layout.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "header_layout.h"

struct saturn_game {
  std::array<char, header_size> ip_header;  // the header exactly as read
  std::array<char, body_size> ip_body;      // the rest of the area; nothing here interprets it
  std::int32_t disc_count;                  // second number of "CD-n/m", 0 until parsed
  std::int32_t disc_number;                 // first number of "CD-n/m", 0 until parsed
};

// The text routines run from one field into the next, so the area's bytes must
// lie in disc order with nothing between them.
static_assert(offsetof(saturn_game, ip_body) == header_size);
static_assert(offsetof(saturn_game, disc_count) == area_size);
static_assert(offsetof(saturn_game, disc_number) == area_size + sizeof(std::int32_t));
static_assert(sizeof(saturn_game) == area_size + 2 * sizeof(std::int32_t));

extern saturn_game current_game;

// Reads the area, the first bytes of the disc's user data, from the disc source
// that emulate_bios has opened (a drive or an image, see disc_source.h) into
// current_game. 1 when both reads were complete, else 0 after the message.
int read_header();

// Tests the header; 1 when it passes, else 0 after the first failing test's message.
int validify_header();

// Lists every header field on standard output, fourteen lines.
void display_header();

// The title as fmttitle trims it; the record is left as it was read.
std::string_view game_title();
