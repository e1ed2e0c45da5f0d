// The CUE sheet parser: a line-based reading of the commands that say where a
// disc image's tracks lie (FILE, TRACK, INDEX), with every other known command
// passed over. Keywords are case-insensitive; names may be quoted.
#include "cue_sheet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <map>

#include "breaks.h"
#include "error.h"
#include "file_names.h"
#include "list_text.h"
#include "raw_sector.h"

namespace {

struct mode_row {
  std::string_view name;
  track_mode mode;
  std::uint32_t sector_size;
};

constexpr std::array<mode_row, 10> track_modes = {{
    {"AUDIO", track_mode::audio, 2352},
    {"MODE1/2048", track_mode::mode1_2048, 2048},
    {"MODE1/2352", track_mode::mode1_2352, 2352},
    {"MODE2/2352", track_mode::mode2_2352, 2352},
    {"MODE2/2048", track_mode::other, 2048},
    {"MODE2/2324", track_mode::other, 2324},
    {"MODE2/2336", track_mode::other, 2336},
    {"CDG", track_mode::other, 2448},
    {"CDI/2336", track_mode::other, 2336},
    {"CDI/2352", track_mode::other, 2352},
}};

// The commands a sheet may begin with (after blank lines): those of the disc
// as a whole, CD-TEXT among them, and the TRACK of a sheet that lacks its FILE,
// so that it gets the parser's message. The parser itself acts on FILE, TRACK
// and INDEX only; the other commands say nothing of where the tracks' bytes
// lie (PREGAP and POSTGAP stand for silence that is not in the files).
constexpr std::array<std::string_view, 17> sheet_openers = {
    "REM",        "FILE",      "CATALOG",  "CDTEXTFILE", "TITLE",   "PERFORMER",
    "SONGWRITER", "COMPOSER",  "ARRANGER", "MESSAGE",    "DISC_ID", "GENRE",
    "TOC_INFO1",  "TOC_INFO2", "UPC_EAN",  "SIZE_INFO",  "TRACK",
};

// A CUE time counts the disc's sectors, as a raw sector's address does.

bool blank(char c) { return c == ' ' || c == '\t'; }
bool blank_or_newline(char c) { return blank(c) || c == '\n' || c == '\r'; }

// One word of a line: a run of non-blank characters, or the text between two
// double quotes. `start` and `end` are its place in the line, quotes included.
struct word {
  std::string_view text;
  std::size_t start;
  std::size_t end;
};

// A decimal number of 1 to max_digits digits, else -1.
long number(std::string_view text, std::size_t max_digits) {
  if (text.empty() || text.size() > max_digits) return -1;
  long value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// mm:ss:ff in frames (75 a second), else -1.
long frames_of(std::string_view time) {
  const auto first = time.find(':');
  const auto second = time.find(':', first == std::string_view::npos ? first : first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return -1;
  const long minutes = number(time.substr(0, first), 3);
  const long seconds = number(time.substr(first + 1, second - first - 1), 2);
  const long frames = number(time.substr(second + 1), 2);
  if (minutes < 0 || seconds < 0 || seconds >= 60 || frames < 0 ||
      frames >= static_cast<long>(raw_sector::frames_per_second))
    return -1;
  return static_cast<long>(raw_sector::sectors_of({static_cast<std::uint32_t>(minutes),
                                                   static_cast<std::uint32_t>(seconds),
                                                   static_cast<std::uint32_t>(frames)}));
}

// Where a parse stands.
struct parse_state {
  parse_state(const std::string& path, cue_sheet& into)
      : sheet_path(path), sheet(into), folder(folder_of(path)) {}

  const std::string& sheet_path;
  cue_sheet& sheet;
  std::string folder;  // the sheet's folder with its final slash, or empty
  int line = 0;
  std::string_view text;  // the current line
  std::vector<word> words;
  // The current FILE: its resolved path, line and type, and the last index
  // placed in it (frame, byte offset, and the sector size of the track it
  // belongs to).
  std::string file_path;
  int file_line = 0;
  file_kind kind = file_kind::binary;
  std::string file_type;
  std::map<std::string, int> files;  // every FILE so far, and its line
  std::uint64_t file_frame = 0;
  std::uint64_t file_byte = 0;
  std::uint32_t file_sector_size = 0;
  std::uint32_t mode_sector_size = 0;  // of the open track's mode, in a BINARY or MOTOROLA file
  bool open_track = false;
  bool has_index01 = false;
  long last_index = -1;
};

// Reports the message with the sheet's path and the current line.
[[gnu::format(printf, 2, 3)]] int fail(const parse_state& state, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string message = message_text(format, args);
  va_end(args);
  return error("%s: line %d: %s\n", state.sheet_path.c_str(), state.line, message.c_str());
}

int split(parse_state& state) {
  const std::string_view line = state.text;
  state.words.clear();
  for (std::size_t at = 0;;) {
    while (at < line.size() && blank(line[at])) ++at;
    if (at == line.size()) return 1;
    if (line[at] == '"') {
      const auto close = line.find('"', at + 1);
      if (close == std::string_view::npos) return fail(state, "unclosed quote");
      state.words.push_back({line.substr(at + 1, close - at - 1), at, close + 1});
      at = close + 1;
    } else {
      const std::size_t start = at;
      while (at < line.size() && !blank(line[at])) ++at;
      state.words.push_back({line.substr(start, at - start), start, at});
    }
  }
}

int finish_track(parse_state& state) {
  if (!state.open_track || state.has_index01) return 1;
  state.line = state.sheet.tracks.back().line;
  return fail(state, "track %02d has no INDEX 01", state.sheet.tracks.back().number);
}

// The track's sectors lie in the current FILE.
void place_in_file(const parse_state& state, cue_track& track) {
  track.path = state.file_path;
  track.file_line = state.file_line;
  track.kind = state.kind;
  track.file_type = state.file_type;
  track.sector_size = state.kind == file_kind::audio_file
                          ? static_cast<std::uint32_t>(raw_sector::size)
                          : state.mode_sector_size;
}

// FILE name type. An unquoted name runs up to the type, spaces included.
int file_command(parse_state& state) {
  const auto& words = state.words;
  const bool quoted = words.size() > 1 && state.text[words[1].start] == '"';
  if (words.size() < 3 || (quoted && words.size() != 3))
    return fail(state, "FILE needs a file name and a file type");
  const word& type = words.back();
  std::string_view name =
      quoted ? words[1].text : state.text.substr(words[1].start, type.start - words[1].start);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  if (name.empty()) return fail(state, "FILE needs a file name and a file type");
  state.kind = same_in_any_case(type.text, "BINARY")     ? file_kind::binary
               : same_in_any_case(type.text, "MOTOROLA") ? file_kind::motorola
                                                         : file_kind::audio_file;
  state.file_type = type.text;
  state.file_path = resolve_file_name(state.folder, name);
  // Offsets in a file count from the FILE that names it; a second FILE of the
  // same name would put tracks at offsets the first one has already used.
  if (const auto [named, added] = state.files.try_emplace(state.file_path, state.line); !added)
    return fail(state, "%s is named by the FILE on line %d too", state.file_path.c_str(),
                named->second);
  state.file_line = state.line;
  state.file_frame = state.file_byte = 0;
  state.file_sector_size = 0;
  // A FILE between a TRACK and its INDEX 01 moves the track to the new file;
  // an INDEX 00 left in the old one is another file's pregap.
  if (state.open_track && !state.has_index01) {
    cue_track& track = state.sheet.tracks.back();
    place_in_file(state, track);
    track.index00.reset();
  }
  return 1;
}

// TRACK number mode
int track_command(parse_state& state) {
  if (finish_track(state) != 1) return 0;
  if (state.file_path.empty()) return fail(state, "TRACK before any FILE");
  const auto& words = state.words;
  auto& tracks = state.sheet.tracks;
  const long track_number = words.size() == 3 ? number(words[1].text, 2) : -1;
  if (track_number < 1 || track_number > 99)
    return fail(state, "TRACK needs a number from 1 to 99 and a mode");
  if (!tracks.empty() && track_number <= tracks.back().number)
    return fail(state, "track %ld does not follow track %d", track_number, tracks.back().number);
  const auto row =
      std::find_if(track_modes.begin(), track_modes.end(),
                   [&words](const mode_row& r) { return same_in_any_case(words[2].text, r.name); });
  if (row == track_modes.end())
    return fail(state, "unknown track mode %.*s", static_cast<int>(words[2].text.size()),
                words[2].text.data());
  cue_track& added = tracks.emplace_back();
  added.number = static_cast<int>(track_number);
  added.mode = row->mode;
  added.mode_name = row->name;
  state.mode_sector_size = row->sector_size;
  added.line = state.line;
  place_in_file(state, added);
  state.open_track = true;
  state.has_index01 = false;
  state.last_index = -1;
  return 1;
}

// INDEX number mm:ss:ff. Each index's byte offset follows from the one before
// it in the same file and the sector size of the track that owns the sectors
// between them.
int index_command(parse_state& state) {
  if (!state.open_track) return fail(state, "INDEX outside a track");
  const auto& words = state.words;
  const long index_number = words.size() == 3 ? number(words[1].text, 2) : -1;
  const long frame = words.size() == 3 ? frames_of(words[2].text) : -1;
  if (index_number < 0 || frame < 0)
    return fail(state, "INDEX needs a number from 0 to 99 and a time mm:ss:ff");
  if (index_number <= state.last_index)
    return fail(state, "INDEX %02ld does not follow INDEX %02ld", index_number, state.last_index);
  const auto at_frame = static_cast<std::uint64_t>(frame);
  if (at_frame < state.file_frame)
    return fail(state, "INDEX %02ld lies before the index above it", index_number);
  cue_track& track = state.sheet.tracks.back();
  if (state.file_sector_size == 0) state.file_sector_size = track.sector_size;
  state.file_byte += (at_frame - state.file_frame) * state.file_sector_size;
  state.file_frame = at_frame;
  state.file_sector_size = track.sector_size;
  if (index_number == 0) track.index00 = state.file_byte;
  if (index_number == 1) {
    track.index01 = state.file_byte;
    state.has_index01 = true;
  }
  state.last_index = index_number;
  return 1;
}

int parse_line(parse_state& state) {
  if (holds_binary(state.text)) return fail(state, "binary data, not a CUE sheet");
  if (split(state) != 1) return 0;
  if (state.words.empty()) return 1;
  const std::string_view command = state.words[0].text;
  if (same_in_any_case(command, "FILE")) return file_command(state);
  if (same_in_any_case(command, "TRACK")) return track_command(state);
  if (same_in_any_case(command, "INDEX")) return index_command(state);
  // Whatever else a sheet says, CD-TEXT and REM lines among it, is no matter
  // for reading the disc, and tools keep adding commands of their own.
  return 1;
}

}  // namespace

bool is_cue_sheet(std::string_view path, std::string_view start) {
  if (ends_in_any_case(path, ".cue")) return true;
  std::string decoded;
  start = readable_text(start, decoded);
  while (!start.empty() && blank_or_newline(start.front())) start.remove_prefix(1);
  const auto end = std::find_if(start.begin(), start.end(), blank_or_newline);
  if (end == start.end()) return false;
  const std::string_view first = start.substr(0, static_cast<std::size_t>(end - start.begin()));
  return std::any_of(sheet_openers.begin(), sheet_openers.end(),
                     [first](std::string_view opener) { return same_in_any_case(first, opener); });
}

int parse_cue_sheet(const std::string& sheet_path, std::string_view text, cue_sheet& sheet) {
  sheet = {};
  sheet.path = sheet_path;
  std::string decoded;
  text = readable_text(text, decoded);
  if (std::all_of(text.begin(), text.end(), blank_or_newline))
    return error("%s: the CUE sheet is empty\n", sheet_path.c_str());
  parse_state state(sheet_path, sheet);
  while (!text.empty()) {
    // Each FILE may read a folder (see file_names.h); a break ends the parse.
    if (break_caught()) return 0;
    ++state.line;
    state.text = next_line(text);
    if (parse_line(state) != 1) return 0;
  }
  if (finish_track(state) != 1) return 0;
  if (sheet.tracks.empty()) return error("%s: no TRACK in the CUE sheet\n", sheet_path.c_str());
  return 1;
}
