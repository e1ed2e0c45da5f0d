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

// How a track's file holds its sectors, from the type its FILE gives.
enum class file_kind {
  binary,      // BINARY: the sectors as they are; CD audio in 16-bit little-endian samples
  motorola,    // MOTOROLA: CD audio in 16-bit big-endian samples
  audio_file,  // any other type (WAVE, MP3, AIFF, FLAC, ...): an audio file to decode. The
               // type is only a hint: the decoder tells the format from the content.
};

struct cue_track {
  int number = 0;  // 1 to 99, as the sheet numbers it
  track_mode mode = track_mode::other;
  std::string mode_name;  // the mode's name (AUDIO, MODE1/2352, ...), for messages
  std::string path;       // the track's file, resolved against the sheet's folder
  file_kind kind = file_kind::binary;
  std::string file_type;  // the type as the FILE gives it, for messages
  // Bytes a sector in that file. An audio file's offsets count the bytes its
  // decoded audio would take as CD audio: 2352 a sector of 1/75 second.
  std::uint32_t sector_size = 0;
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
// looked up in sheet_path's folder, not opened; see file_names.h). Lines end
// in LF, CR LF or CR; a sheet in UTF-16 with its byte-order mark is read as
// the same text in UTF-8. Commands that say nothing of where the tracks lie
// (CD-TEXT, REM, PREGAP, ...) and commands it does not know are passed over.
// 1 on success, 0 after a message through error that names the sheet and,
// where it helps, the line.
int parse_cue_sheet(const std::string& sheet_path, std::string_view text, cue_sheet& sheet);
