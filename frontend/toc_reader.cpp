// cdrdao's TOC files: free-form statements, "//" comments, strings in double
// quotes. A track is the concatenation of its statements (files, silence,
// zero data); START marks its INDEX 01 within them. Everything that says
// nothing of where the sectors lie (CATALOG, the flags, ISRC, CD_TEXT blocks,
// INDEX 02 and later) is passed over.
#include <algorithm>
#include <cstdarg>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc_table.h"
#include "error.h"
#include "file_names.h"
#include "image_layouts.h"
#include "list_text.h"
#include "raw_sector.h"

namespace {

struct token {
  std::string_view text;  // a string's contents without its quotes
  bool quoted = false;
  int line = 0;
};

bool comment_at(std::string_view text, std::size_t at) {
  return text[at] == '/' && at + 1 < text.size() && text[at + 1] == '/';
}

// Splits the text into words, strings and braces, which lie in the text but
// for strings with a backslash, whose contents are kept in `unescaped`. 1, or
// 0 after a message.
int split(const std::string& path, std::string_view text, std::vector<token>& tokens,
          std::deque<std::string>& unescaped) {
  tokens.reserve(text.size() / 8);
  int line = 1;
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    if (c == '\n') ++line;
    if (is_space(c)) {
      ++at;
    } else if (comment_at(text, at)) {
      at = std::min(text.find('\n', at), text.size());
    } else if (c == '"') {
      const std::size_t start = ++at;
      bool escaped = false;
      for (;; ++at) {
        if (at >= text.size() || text[at] == '\n')
          return error("%s: line %d: unclosed quote\n", path.c_str(), line);
        if (text[at] == '"') break;
        if (text[at] == '\\' && at + 1 < text.size() && text[at + 1] != '\n') {
          escaped = true;
          ++at;
        }
      }
      std::string_view contents = text.substr(start, at - start);
      if (escaped) {
        std::string& kept = unescaped.emplace_back();
        for (std::size_t i = 0; i < contents.size(); ++i)
          kept += contents[contents[i] == '\\' ? ++i : i];
        contents = kept;
      }
      tokens.push_back({contents, true, line});
      ++at;
    } else if (c == '{' || c == '}') {
      tokens.push_back({text.substr(at, 1), false, line});
      ++at;
    } else {
      const std::size_t start = at;
      while (at < text.size() && !is_space(text[at]) && text[at] != '"' && text[at] != '{' &&
             text[at] != '}' && !comment_at(text, at))
        ++at;
      tokens.push_back({text.substr(start, at - start), false, line});
    }
  }
  return 1;
}

// A length or position: blocks as m:s:f (one or more digits each, s < 60,
// f < 75), or a bare count of samples or bytes.
struct amount {
  bool blocks;
  std::uint64_t value;
};

std::optional<std::uint64_t> decimal(std::string_view text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

std::optional<amount> amount_of(std::string_view text) {
  const auto first = text.find(':');
  if (first == std::string_view::npos) {
    const auto value = decimal(text);
    return value ? std::optional<amount>({false, *value}) : std::nullopt;
  }
  const auto second = text.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto minutes = decimal(text.substr(0, first));
  const auto seconds = decimal(text.substr(first + 1, second - first - 1));
  const auto frames = decimal(text.substr(second + 1));
  if (!minutes || !seconds || !frames || *minutes > 999 || *seconds >= 60 ||
      *frames >= raw_sector::frames_per_second)
    return std::nullopt;
  return amount{true, raw_sector::sectors_of({static_cast<std::uint32_t>(*minutes),
                                              static_cast<std::uint32_t>(*seconds),
                                              static_cast<std::uint32_t>(*frames)})};
}

// A statement's run of the track: bytes of a file, or silence.
struct run {
  std::size_t file = no_file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // to_file_end: the rest of the file
};

struct parse_state {
  parse_state(const std::string& descriptor, disc_table& into)
      : path(descriptor), folder(folder_of(descriptor)), table(into) {}

  const std::string& path;
  std::string folder;
  disc_table& table;
  std::vector<token> tokens;
  std::deque<std::string> unescaped;  // strings that held a backslash
  std::size_t next = 0;
  int line = 1;  // of the statement being read
  // The open track: its block size, its runs so far, where START put INDEX 01.
  std::uint32_t block = 0;
  bool audio = false;
  std::vector<run> runs;
  std::uint64_t length = 0;  // of the runs so far; to_file_end once one runs to its file's end
  std::optional<std::uint64_t> start;
  int track_line = 0;
  std::map<std::string, std::string> names;  // each file name given, as resolved
};

bool more(const parse_state& state) { return state.next < state.tokens.size(); }
const token& peek(const parse_state& state) { return state.tokens[state.next]; }
bool at_keyword(const parse_state& state, std::string_view keyword) {
  return more(state) && !peek(state).quoted && same_in_any_case(peek(state).text, keyword);
}
[[gnu::format(printf, 2, 3)]] int fail(const parse_state& state, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string message = message_text(format, args);
  va_end(args);
  return entry_error(state.path, "line " + std::to_string(state.line), "%s", message.c_str());
}

// Passes over a CD_TEXT block: its braces, matched, strings among them.
int skip_block(parse_state& state) {
  ++state.next;
  if (!more(state) || peek(state).quoted || peek(state).text != "{")
    return fail(state, "CD_TEXT needs a block in braces");
  const int opened = peek(state).line;
  for (int depth = 0; more(state); ++state.next) {
    const token& t = peek(state);
    if (!t.quoted && t.text == "{") ++depth;
    if (!t.quoted && t.text == "}" && --depth == 0) {
      ++state.next;
      return 1;
    }
  }
  return entry_error(state.path, "line " + std::to_string(opened),
                     "the CD_TEXT block is not closed");
}

bool at_amount(const parse_state& state) {
  return more(state) && !peek(state).quoted && amount_of(peek(state).text).has_value();
}

// Bytes of an amount in the open track as its file stores it: blocks of it,
// else a count of samples (4 bytes, 588 a block, the block's subchannel after
// each 588) or of bytes. cdrdao counts samples in an audio track's FILE,
// AUDIOFILE and SILENCE, bytes in DATAFILE and ZERO.
std::uint64_t bytes_of(const parse_state& state, amount value, bool samples) {
  if (value.blocks) return value.value * state.block;
  if (!samples) return value.value;
  constexpr std::uint64_t samples_a_block = raw_sector::size / toc::sample_bytes;
  return value.value / samples_a_block * state.block +
         value.value % samples_a_block * toc::sample_bytes;
}

int take_amount(parse_state& state, const char* what, bool samples, std::uint64_t& bytes) {
  if (!at_amount(state)) return fail(state, "%s needs a length or position", what);
  bytes = bytes_of(state, *amount_of(peek(state).text), samples);
  ++state.next;
  return 1;
}

void add_run(parse_state& state, run added) {
  state.length = joined_length(state.length, added.length);
  state.runs.push_back(added);
}

std::size_t file_index(parse_state& state, const std::string& name, file_kind kind, int line) {
  const std::string& path = resolve_once(state.names, state.folder, name);
  auto& files = state.table.files;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (files[i].path == path && files[i].kind == kind) return i;
  files.push_back({path, kind, "", "line " + std::to_string(line), to_file_end});
  return files.size() - 1;
}

// FILE | AUDIOFILE "name" [SWAP] [#offset] start [length], and
// DATAFILE "name" [#offset] [length]: bytes of a file from offset + start.
int file_statement(parse_state& state, bool data_file, bool audio_track) {
  const int line = peek(state).line;
  const std::string keyword(peek(state).text);
  ++state.next;
  if (!more(state) || !peek(state).quoted)
    return fail(state, "%s needs a file name in quotes", keyword.c_str());
  const std::string name(peek(state).text);
  ++state.next;
  const bool swap = !data_file && at_keyword(state, "SWAP");
  if (swap) ++state.next;
  std::uint64_t offset = 0;
  if (more(state) && !peek(state).quoted && peek(state).text.starts_with('#')) {
    const auto value = decimal(peek(state).text.substr(1));
    if (!value) return fail(state, "%s is no byte offset", std::string(peek(state).text).c_str());
    offset = *value;
    ++state.next;
  }
  std::uint64_t start = 0;
  const bool samples = audio_track && !data_file;
  if (!data_file && take_amount(state, keyword.c_str(), samples, start) != 1) return 0;
  std::uint64_t length = to_file_end;
  if (at_amount(state)) {
    take_amount(state, keyword.c_str(), samples, length);
    if (length == 0) length = to_file_end;
  }
  // WAVE files are decoded: cdrdao counts their samples from the audio data on.
  const bool wave = audio_track && ends_in_any_case(name, ".wav");
  const file_kind kind = !audio_track ? file_kind::binary
                         : wave       ? file_kind::audio_file
                         : swap       ? file_kind::binary
                                      : file_kind::motorola;
  add_run(state, {file_index(state, name, kind, line), offset + start, length});
  return 1;
}

// START [position], PREGAP length: INDEX 01 within the track.
int start_statement(parse_state& state, bool pregap) {
  const char* const keyword = pregap ? "PREGAP" : "START";
  if (state.start) return fail(state, "a second START or PREGAP in the track");
  ++state.next;
  std::uint64_t at = state.length;
  if (pregap) {
    std::uint64_t length = 0;
    if (take_amount(state, keyword, state.audio, length) != 1) return 0;
    add_run(state, {no_file, 0, length});
    at = state.length;
  } else if (at_amount(state)) {
    take_amount(state, keyword, state.audio, at);
  }
  if (at == to_file_end)
    return fail(state, "%s after a file that runs to its end; give the file's length", keyword);
  state.start = at;
  return 1;
}

// The open track's runs from INDEX 01 on become its pieces.
int finish_track(parse_state& state) {
  if (state.table.tracks.empty()) return 1;
  disc_track& track = state.table.tracks.back();
  const std::uint64_t start = state.start.value_or(0);
  // Past a run to its file's end only whole runs follow; START lies before it.
  std::uint64_t at = 0;
  for (const run& r : state.runs) {
    const std::uint64_t end = joined_length(at, r.length);
    if (at == to_file_end) {
      track.pieces.push_back({r.file, r.offset, r.length});
    } else if (end > start) {
      const std::uint64_t skipped = start > at ? start - at : 0;
      if (skipped > 0 && r.file != no_file && at == 0) track.index00 = r.offset;
      track.pieces.push_back({r.file, r.file == no_file ? 0 : r.offset + skipped,
                              r.length == to_file_end ? to_file_end : r.length - skipped});
    }
    at = end;
  }
  if (track.pieces.empty())
    return entry_error(state.path, track.entry,
                       state.runs.empty() ? "track %02d holds nothing"
                                          : "track %02d: START lies at or after its end",
                       track.number);
  return 1;
}

int track_statement(parse_state& state) {
  if (finish_track(state) != 1) return 0;
  const int line = peek(state).line;
  ++state.next;
  const auto mode =
      more(state)
          ? std::find_if(toc::modes.begin(), toc::modes.end(),
                         [&state](const image_mode& m) { return at_keyword(state, m.name); })
          : toc::modes.end();
  if (mode == toc::modes.end())
    return fail(state,
                "TRACK needs a mode (AUDIO, MODE1, MODE1_RAW, MODE2, MODE2_FORM1, "
                "MODE2_FORM2, MODE2_FORM_MIX, MODE2_RAW)");
  ++state.next;
  std::uint32_t block = mode->sector_size;
  if (at_keyword(state, "RW") || at_keyword(state, "RW_RAW")) {
    block += subchannel_size;
    ++state.next;
  }
  auto& tracks = state.table.tracks;
  if (tracks.size() == 99)
    return entry_error(state.path, "line " + std::to_string(line), "more than 99 tracks");
  disc_track& added = tracks.emplace_back();
  added.number = static_cast<int>(tracks.size());
  added.layout = mode->layout;
  added.mode_name = mode->name;
  added.sector_size = block;
  added.entry = "line " + std::to_string(line);
  state.block = block;
  state.audio = mode->layout == sector_layout::audio;
  state.runs.clear();
  state.length = 0;
  state.start.reset();
  return 1;
}

int track_item(parse_state& state) {
  const disc_track& track = state.table.tracks.back();
  const bool audio = track.layout == sector_layout::audio;
  if (at_keyword(state, "FILE") || at_keyword(state, "AUDIOFILE"))
    return file_statement(state, false, audio);
  if (at_keyword(state, "DATAFILE")) return file_statement(state, true, audio);
  if (at_keyword(state, "SILENCE") || at_keyword(state, "ZERO")) {
    const std::string keyword(peek(state).text);
    ++state.next;
    // ZERO may name the mode and subchannel of its blocks; they are the track's.
    while (more(state) && !peek(state).quoted && !at_amount(state) &&
           (std::any_of(toc::modes.begin(), toc::modes.end(),
                        [&state](const image_mode& m) { return at_keyword(state, m.name); }) ||
            at_keyword(state, "MODE0") || at_keyword(state, "RW") || at_keyword(state, "RW_RAW")))
      ++state.next;
    std::uint64_t length = 0;
    if (take_amount(state, keyword.c_str(), state.audio && same_in_any_case(keyword, "SILENCE"),
                    length) != 1)
      return 0;
    add_run(state, {no_file, 0, length});
    return 1;
  }
  if (at_keyword(state, "START")) return start_statement(state, false);
  if (at_keyword(state, "PREGAP")) return start_statement(state, true);
  if (at_keyword(state, "INDEX") || at_keyword(state, "END")) {
    ++state.next;
    if (at_amount(state)) ++state.next;
    return 1;
  }
  if (at_keyword(state, "FIFO")) return fail(state, "FIFO input is no part of a disc image");
  if (at_keyword(state, "CD_TEXT")) return skip_block(state);
  if (at_keyword(state, "ISRC")) {
    state.next += 2;
    return 1;
  }
  for (const std::string_view flag :
       {"NO", "COPY", "PRE_EMPHASIS", "TWO_CHANNEL_AUDIO", "FOUR_CHANNEL_AUDIO"})
    if (at_keyword(state, flag)) {
      ++state.next;
      return 1;
    }
  return fail(state, "unknown statement %s", std::string(peek(state).text).c_str());
}

}  // namespace

int read_toc(const std::string& path, std::string_view text, disc_table& table) {
  table = {};
  table.path = path;
  std::string decoded;
  parse_state state(path, table);
  if (split(path, readable_text(text, decoded), state.tokens, state.unescaped) != 1) return 0;
  // The disc's statements come before the first TRACK.
  while (more(state) && !at_keyword(state, "TRACK")) {
    state.line = peek(state).line;
    if (at_keyword(state, "CD_TEXT")) {
      if (skip_block(state) != 1) return 0;
    } else if (at_keyword(state, "CATALOG")) {
      state.next += 2;
    } else if (at_keyword(state, "CD_DA") || at_keyword(state, "CD_ROM") ||
               at_keyword(state, "CD_ROM_XA") || at_keyword(state, "CD_I")) {
      ++state.next;
    } else {
      return fail(state, "unknown statement %s", std::string(peek(state).text).c_str());
    }
  }
  while (more(state)) {
    state.line = peek(state).line;
    if ((at_keyword(state, "TRACK") ? track_statement(state) : track_item(state)) != 1) return 0;
  }
  if (finish_track(state) != 1) return 0;
  if (table.tracks.empty()) return error("%s: no TRACK in the TOC file\n", path.c_str());
  return 1;
}
