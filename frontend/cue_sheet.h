// A CUE sheet: the small text file that lists a disc image's tracks, the files
// that hold them and where in those files each track's indexes lie.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a track's sectors are stored in its file.
enum class track_mode {
  audio,       // AUDIO: CD audio, 2352 bytes a sector
  mode1_2048,  // MODE1/2048: user data only
  mode1_2352,  // MODE1/2352: raw sectors with sync, header and user data
  mode2_2352,  // MODE2/2352: raw sectors with sync, header, subheader and user data
  other,       // any other data mode the sheet may name (MODE2/2336, CDG, ...)
};

struct cue_track {
  int number = 0;  // 1 to 99, as the sheet numbers it
  track_mode mode = track_mode::other;
  std::string mode_name;          // the mode's name (AUDIO, MODE1/2352, ...), for messages
  std::string path;               // the track's BINARY file, resolved against the sheet's folder
  std::uint32_t sector_size = 0;  // bytes a sector in that file
  std::optional<std::uint64_t> index00;  // byte offset of INDEX 00 in the file, if any
  std::uint64_t index01 = 0;             // byte offset of INDEX 01 in the file
  int line = 0;                          // the line of the sheet the TRACK stands on
  int file_line = 0;                     // the line of the FILE that names `path`
};

struct cue_sheet {
  std::string path;               // the sheet itself, as it was named
  std::vector<cue_track> tracks;  // in the sheet's order
};

// Whether the file at `path`, which begins with the bytes `start`, is a CUE
// sheet: by its name (".cue" in any case), or by its first word (in any case)
// being one a sheet begins with. A first word that runs to the end of `start`
// is not looked at.
bool is_cue_sheet(std::string_view path, std::string_view start);

// Parses the text of the sheet at sheet_path into `sheet` (track files are
// resolved against sheet_path's folder, not opened). 1 on success, 0 after a
// message through error that names the sheet and, where it helps, the line.
int parse_cue_sheet(const std::string& sheet_path, std::string_view text, cue_sheet& sheet);

struct pcm_span {
  std::string path;
  std::uint64_t offset;
  std::uint64_t length;
};

// The CD-audio bytes from track `first`'s INDEX 01 to the end of the last
// audio track, in play order, pregaps (INDEX 00..INDEX 01) skipped; a track
// ends where the next track in the same file begins (its INDEX 00, else
// INDEX 01) or at its file's end. Only audio tracks numbered `first` or later
// give spans (data tracks among them are skipped); none when there are none.
// A span that runs to its file's end takes its length from the file's size,
// 0 when the file cannot be measured (the player then finds it missing).
std::vector<pcm_span> audio_spans(const cue_sheet& sheet, int first_track);
