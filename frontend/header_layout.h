// Where the fields of the disc header lie in the disc's initial-program area:
// the one description that the reader, the sample-image generator and the tests
// all use. Offsets count from the first byte of the disc's user data.
#pragma once

#include <cstddef>
#include <string_view>

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
constexpr header_field after_area_codes{0x4A, 6};  // not used
constexpr header_field peripherals{0x50, 16};
constexpr header_field title{0x60, 112};
constexpr header_field after_title{0xD0, 16};  // not used; the title text may run on into it
constexpr header_field ip_size{0xE0, 4};
constexpr header_field master_sp{0xE8, 4};
constexpr header_field slave_sp{0xEC, 4};
constexpr header_field first_read_address{0xF0, 4};
constexpr header_field first_read_size{0xF4, 4};

// What the hardware field of a Saturn disc holds.
constexpr std::string_view saturn_hardware_id = "SEGA SEGASATURN ";
static_assert(saturn_hardware_id.size() == hardware_id.length);

// The header, the bytes read after it, and both together.
constexpr std::size_t header_size = 256;
constexpr std::size_t body_size = 3328;
constexpr std::size_t area_size = header_size + body_size;

static_assert(title.offset + title.length == after_title.offset);
static_assert(first_read_size.offset + first_read_size.length <= header_size);
