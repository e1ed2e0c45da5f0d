// Any bytes as a CUE sheet, through its recognition, the parser and the audio
// its track table gives a player. The sanitizers catch any access outside the text;
// the checks hold a parsed sheet to what the reader and the player rely on.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cue_sheet.h"
#include "disc_table.h"
#include "fuzz_target.h"
#include "output_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const output_sink quiet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Any bytes are looked at as a sheet's first bytes too; a name says the rest.
  is_cue_sheet("sheets/disc", text);
  check(is_cue_sheet("sheets/disc.cue", text));
  cue_sheet sheet;
  const int result = parse_cue_sheet("sheets/disc.cue", text, sheet);
  check(result == 0 || result == 1);
  if (result == 0) return 0;

  check(!sheet.tracks.empty() && sheet.tracks.size() <= 99);
  int previous = 0;
  for (const auto& track : sheet.tracks) {
    check(track.number > previous && track.number <= 99);
    previous = track.number;
    check(track.sector_size >= 2048 && track.sector_size <= 2448);
    check(!track.index00 || *track.index00 <= track.index01);
    check(!track.path.empty() && (track.path.starts_with("sheets/") || track.path[0] == '/'));
  }
  // The audio goes forward through each file and never wraps around.
  const disc_table table = cue_disc_table(sheet);
  for (const int first : {1, 2}) {
    const auto pieces = audio_pieces(table, first);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const track_piece& piece = pieces[i].piece;
      check(piece.length == to_file_end || piece.offset + piece.length >= piece.offset);
      if (i > 0 && piece.file == pieces[i - 1].piece.file)
        check(piece.offset >= pieces[i - 1].piece.offset);
    }
  }
  return 0;
}
