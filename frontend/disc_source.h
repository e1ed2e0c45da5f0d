// Where the disc's user data comes from. -d names a drive, an image of the
// user data alone (2048-byte sectors), a raw image (2352-byte sectors), a
// CUE sheet, or a playlist (.m3u) of a multi-disc set, whose first image is
// read; read_header takes the user data from here in disc order,
// whatever the image stores around it.
#pragma once

#include <cstddef>
#include <string>

#include "cue_sheet.h"

// What -d turned out to hold.
enum class disc_kind {
  as_delivered,  // a drive, or an image of the user data alone
  raw_image,     // raw sectors: sync pattern and header around each 2048 bytes
  cue_sheet,     // a CUE sheet (in disc_sheet) naming the files of the tracks
};
extern disc_kind current_disc_kind;

// The sheet that -d named, once read_header has parsed it; no tracks when -d
// named a drive or a plain or raw image.
extern cue_sheet disc_sheet;

// The disc image that -d's playlist names first, the one read; empty when -d
// names no playlist.
extern std::string playlist_entry;

// Looks at the first bytes of `device`, the open descriptor of `path`, to see
// what it holds; for a CUE sheet parses it and opens its first track's file.
// 1 when the user data can be read, else 0 after the message.
int open_disc_source(int device, const char* path);

// Reads the next `size` bytes of the disc's user data, in disc order, into
// `into`. The count delivered; less than `size` only at the end of the data
// (the end of the image, a read error, or a raw sector that holds no data).
std::size_t read_disc(char* into, std::size_t size);

// Whether the open descriptor is a CD drive: the drive answers a request for
// its capabilities, which no file does.
bool is_cd_drive(int device);
