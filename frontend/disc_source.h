// Where the disc's user data comes from. -d names a drive, an image of the
// user data alone (2048-byte sectors), a raw image (2352-byte sectors), a
// disc image described by a CUE sheet, a CloneCD .ccd, a cdrdao .toc, an
// Alcohol .mds or a Nero .nrg, or a playlist (.m3u) of a multi-disc set, whose
// first image is read. emulate_bios opens -d; the disc source opens every
// other file once, owns it, and closes it at the end of the run. read_header
// takes the user data from here in disc order, whatever the image stores
// around it, and -m asks here what the disc is and what audio it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disc_table.h"
#include "raw_sector.h"

// What the disc is, said once by open_disc_source.
enum class disc_kind {
  drive,        // a CD drive: it plays the disc's audio itself
  audio_image,  // an image whose table lists audio tracks from track 2 on
  data_image,   // any other image: nothing for -m to play
};

// What -d holds, once open_disc_source has looked.
struct disc_record {
  disc_kind kind = disc_kind::data_image;
  // The disc image that -d's playlist names first, the one read; empty when
  // -d names no playlist. A playlist names image files only, never a drive.
  std::string playlist_entry;
  disc_table table;  // the tracks, for an image with a descriptor; none otherwise
};
extern disc_record current_disc;

// Looks at the first bytes of `device`, the open descriptor of `path`, and
// at the last ones of a file, to see what it holds, into current_disc; for a
// playlist opens its first image, for a descriptor reads it and opens the
// files it names. 1 when the user data can be read, else 0 after the message.
int open_disc_source(int device, const char* path);

// Reads the next `size` bytes of the disc's user data, in disc order, into
// `into`. The count delivered; less than `size` only at the end of the data
// (the end of the image or track, a read error, or a sector that holds no data).
std::size_t read_disc(char* into, std::size_t size);

// A run of an audio image's CD audio as the player takes it: bytes of a
// file that the disc source holds open, or silence.
struct pcm_span {
  int file = -1;     // the open file; -1 for silence, or for a file that could not be opened
  std::string path;  // the file, for messages; empty for silence
  file_kind kind = file_kind::binary;
  std::string file_type;  // what the descriptor calls its kind, for messages
  // Where the run begins in the file and its bytes there: stored sectors of
  // `stride` bytes, the first 2352 of each CD audio, the rest subchannel. An
  // audio file's offset and length count the CD audio it decodes to, and
  // its length may be to_file_end.
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint32_t stride = raw_sector::size;
};

// The CD audio of an audio image from track 2's INDEX 01 to the end of its
// last audio track, pregaps skipped (see audio_pieces).
std::vector<pcm_span> disc_audio();

// -m on a data image: the message that says why nothing plays, and 0.
int refuse_audio(const char* device);

// Closes every file the disc source opened, for the end of the run.
void close_disc_source();
