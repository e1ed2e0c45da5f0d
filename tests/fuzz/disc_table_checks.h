// What every image reader's table must hold to for the readers of the disc
// after it: tracks numbered upwards from 1 to 99, each with pieces that name
// a listed file and do not wrap around, and a sector size.
#pragma once

#include "disc_table.h"
#include "fuzz_target.h"

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
