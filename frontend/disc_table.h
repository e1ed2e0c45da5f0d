// A disc image as every image format's reader describes it: the files that
// hold its sectors and one table of its tracks, saying how each track's
// sectors are stored and where they lie from its INDEX 01 on. The readers
// (CUE, CloneCD, cdrdao TOC, Alcohol MDS, Nero NRG) only read descriptors; the
// files they name are opened by whoever reads the disc, which then gives each
// file its size (check_pieces).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cue_sheet.h"

// How a track's sectors are stored, each in sector_size bytes of its file.
enum class sector_layout {
  audio,       // CD audio: 588 frames of two 16-bit samples, left first
  raw,         // a whole data sector: sync, header and the rest; its mode byte tells the rest
  mode2_xa,    // a Mode 2 sector from its subheader on (2336 bytes): form 1 user data at 8
  user_data,   // the 2048 bytes of user data alone, of Mode 1 or Mode 2 form 1
  unreadable,  // data ruvo takes no user data from: Mode 2 form 2 alone, CD+G, and the
               // modes a CUE sheet may name beyond MODE1/2048, MODE1/2352 and MODE2/2352
};

// 96 bytes of subchannel (P to W) after each sector's 2352, in images that keep them.
inline constexpr std::uint32_t subchannel_size = 96;

// A length that runs as far as the file goes: to its end, or for an audio
// file as far as its decoded audio goes.
inline constexpr std::uint64_t to_file_end = ~std::uint64_t{0};
// Two lengths end to end: to_file_end where either runs to its file's end.
constexpr std::uint64_t joined_length(std::uint64_t a, std::uint64_t b) {
  return a == to_file_end || b == to_file_end ? to_file_end : a + b;
}

struct disc_file {
  std::string path;  // resolved against the descriptor's folder
  // binary: as stored (audio little-endian); motorola: audio big-endian;
  // audio_file: audio to decode, whose offsets count the CD audio it decodes to.
  file_kind kind = file_kind::binary;
  std::string type;   // what the descriptor calls its kind (a CUE FILE type), for messages
  std::string entry;  // where the descriptor names it ("line 3"), for messages
  // Its size in bytes, once whoever reads the disc has opened it; unknown
  // (to_file_end) before, and always for an audio file.
  std::uint64_t size = to_file_end;
};

// A run of a track's bytes in one file, or of silence (zero data) that no
// file holds.
inline constexpr std::size_t no_file = ~std::size_t{0};
struct track_piece {
  std::size_t file = no_file;  // in disc_table::files
  std::uint64_t offset = 0;    // where the run begins in the file
  std::uint64_t length = 0;    // bytes; to_file_end: as far as the file goes
  bool operator==(const track_piece&) const = default;
};

struct disc_track {
  int number = 0;  // 1 to 99
  sector_layout layout = sector_layout::unreadable;
  std::string mode_name;  // the mode as the descriptor names it, for messages
  // Bytes each sector takes in its file, subchannel included: 2048, 2336,
  // 2352 or 2448 (2324, 2448 for CD+G, ... for the unreadable ones).
  std::uint32_t sector_size = 0;
  // Its bytes from INDEX 01 (sector 0 of the track) to its end, in disc order:
  // one piece but for cdrdao tracks put together from several statements.
  // A track ends where the next one's pregap begins, so no pregap is in here.
  std::vector<track_piece> pieces;
  // Where INDEX 00 lies in the file of the first piece, when that file holds
  // the pregap.
  std::optional<std::uint64_t> index00;
  std::string entry;  // where the descriptor describes it ("line 12", "[TRACK 2]"), for messages
};

struct disc_table {
  std::string path;  // the descriptor, as it was named
  std::vector<disc_file> files;
  std::vector<disc_track> tracks;  // in disc order, numbers rising
};

// The file a track's INDEX 01 lies in, or null for a track that begins in
// silence.
const disc_file* index01_file(const disc_table& table, const disc_track& track);

// The audio to play from track `first_track` on: the pieces of every audio
// track numbered that or later, in order (data tracks among them skipped),
// each with its track's sector size.
struct audio_piece {
  track_piece piece;
  std::uint32_t sector_size;
};
std::vector<audio_piece> audio_pieces(const disc_table& table, int first_track);

// Once every file but the audio files has its size: a piece that runs to its
// file's end takes its length from it (0 when it begins past the end). What a
// CUE sheet's pieces get: the part of a track that its file lacks is not
// there to play.
void fit_to_files(disc_table& table);

// The same for the other formats, after checking that each piece lies within
// its file; each audio track is then made up to whole sectors with silence,
// as cdrdao pads a track whose statements end inside a sector. 1, or 0 after
// a message naming the descriptor, the track's entry and the file.
int check_pieces(disc_table& table);

// The table of a parsed CUE sheet: each track one piece from INDEX 01 to where
// the next track in the same file begins (its INDEX 00, else INDEX 01), or to
// its file's end.
disc_table cue_disc_table(const cue_sheet& sheet);

// Reads `count` bytes at `offset` of a file that may be far too large to hold
// (an 800 MB image): a bounded reader over an open descriptor, or over bytes
// in memory for tests and fuzzing. read_bytes never asks for a byte past size.
struct byte_source {
  std::uint64_t size = 0;
  // Fills `into` with `count` bytes at `offset`; false after a read error.
  bool (*read)(const void* context, std::uint64_t offset, char* into, std::size_t count) = nullptr;
  const void* context = nullptr;
};
byte_source descriptor_bytes(const int& descriptor, std::uint64_t size);
byte_source memory_bytes(const std::string_view& bytes);
// false when the bytes are not all within the file or cannot be read.
bool read_bytes(const byte_source& source, std::uint64_t offset, char* into, std::size_t count);

// Formats a reader's message about one entry of a descriptor,
// "<descriptor>: <entry>: <text>\n", and returns 0.
[[gnu::format(printf, 3, 4)]] int entry_error(const std::string& descriptor,
                                              const std::string& entry, const char* format, ...);
