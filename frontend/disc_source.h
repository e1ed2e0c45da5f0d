// Where the disc's user data comes from. -d names a drive, an image of the
// user data alone (2048-byte sectors), a raw image (2352-byte sectors), a
// CUE sheet, or a playlist (.m3u) of a multi-disc set, whose first image is
// read; emulate_bios opens it, and read_header takes the user data from here in disc order,
// whatever the image stores around it.
#pragma once

#include <cstddef>
#include <string>

#include "cue_sheet.h"

// What -d turned out to hold.
enum class disc_kind {
  as_delivered,  // a drive, or an image of the user data alone
  raw_image,     // raw sectors: sync pattern and header around each 2048 bytes
  cue_sheet,     // a CUE sheet naming the files of the tracks
};

// What -d holds, once open_disc_source has looked.
struct disc_record {
  disc_kind kind = disc_kind::as_delivered;
  // The disc image that -d's playlist names first, the one read; empty when
  // -d names no playlist. A playlist names image files only, never a drive.
  std::string playlist_entry;
  cue_sheet sheet;  // the sheet, for a CUE sheet; no tracks otherwise
};
extern disc_record current_disc;

// Looks at the first bytes of `device`, the open descriptor of `path`, to see
// what it holds, into current_disc; for a playlist opens its first image, for
// a CUE sheet parses it and opens its first track's file.
// 1 when the user data can be read, else 0 after the message.
int open_disc_source(int device, const char* path);

// Reads the next `size` bytes of the disc's user data, in disc order, into
// `into`. The count delivered; less than `size` only at the end of the data
// (the end of the image, a read error, or a raw sector that holds no data).
std::size_t read_disc(char* into, std::size_t size);

// Whether the open descriptor is a CD drive: the drive answers a request for
// its capabilities, which no file does.
bool is_cd_drive(int device);
