// Any bytes as a CUE sheet, through its recognition, the parser and the audio
// spans a player would read. The sanitizers catch any access outside the text;
// the checks hold a parsed sheet to what the reader and the player rely on.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cue_sheet.h"
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
  // Spans go forward through each file and never wrap around.
  for (const int first : {1, 2}) {
    const auto spans = audio_spans(sheet, first);
    for (std::size_t i = 0; i < spans.size(); ++i) {
      check(spans[i].length == to_file_end || spans[i].offset + spans[i].length >= spans[i].offset);
      if (i > 0 && spans[i].path == spans[i - 1].path)
        check(spans[i].offset >= spans[i - 1].offset);
    }
  }
  return 0;
}
