// What every image reader's table must hold to for the readers of the disc
// after it: tracks numbered upwards from 1 to 99, each with pieces that name
// a listed file and do not wrap around, and a sector size.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "disc_table.h"
#include "fuzz_target.h"
#include "output_sink.h"

inline void check_table(const disc_table& table) {
  check(!table.tracks.empty() && table.tracks.size() <= 99);
  int previous = 0;
  for (const disc_track& track : table.tracks) {
    check(track.number > previous && track.number <= 99);
    previous = track.number;
    check(track.sector_size > 0 && !track.pieces.empty());
    for (const track_piece& piece : track.pieces) {
      check(piece.file == no_file || piece.file < table.files.size());
      check(piece.length == to_file_end || piece.offset + piece.length >= piece.offset);
    }
  }
}

// Gives every file `size` bytes and checks the pieces against them: a piece
// that passes lies within its file.
inline void check_against_size(disc_table& table, std::uint64_t size) {
  for (disc_file& file : table.files) file.size = size;
  if (check_pieces(table) != 1) return;
  for (const disc_track& track : table.tracks)
    for (const track_piece& piece : track.pieces)
      if (piece.file != no_file && table.files[piece.file].kind != file_kind::audio_file)
        check(piece.length != to_file_end && piece.offset + piece.length <= size);
}

// Runs a reader on one input with its messages sent nowhere: it refuses (0)
// or gives a table (1) that passes the checks above, each file taken to be
// `size` bytes. The table is empty where the reader refused.
template <class input>
disc_table read_checked(int (*read)(const std::string&, input, disc_table&),
                        const std::string& path, std::type_identity_t<input> bytes,
                        std::uint64_t size) {
  const output_sink quiet;
  disc_table table;
  const int result = read(path, bytes, table);
  check(result == 0 || result == 1);
  if (result == 0) return {};
  check_table(table);
  check_against_size(table, size);
  return table;
}
