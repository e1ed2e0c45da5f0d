// CloneCD: the .ccd is INI-style text (sections "[Name]", lines "Key=Value")
// that copies the disc's table of contents, one [Entry n] per TOC entry;
// the raw sectors lie in the .img of the same name, LBA 0 at byte 0.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc_table.h"
#include "error.h"
#include "file_names.h"
#include "image_layouts.h"
#include "list_text.h"

namespace {

struct ccd_section {
  std::string_view name;  // between the brackets
  std::vector<std::pair<std::string_view, std::string_view>> keys;
  std::optional<long long> entry, track;  // n of "[Entry n]", "[TRACK n]"
};

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

// Decimal, possibly negative, or hexadecimal after "0x", as CloneCD writes
// its numbers; nothing for anything else or more than nine digits.
std::optional<long long> ccd_number(std::string_view text) {
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 9) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    const char lower = static_cast<char>(c | 0x20);
    const int digit = c >= '0' && c <= '9'                         ? c - '0'
                      : base == 16 && lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                                   : -1;
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
  }
  return negative ? -value : value;
}

std::optional<std::string_view> value_of(const ccd_section& section, std::string_view key) {
  for (const auto& [name, value] : section.keys)
    if (same_in_any_case(name, key)) return value;
  return std::nullopt;
}

// Whether a section is "[<kind> <n>]", and n.
std::optional<long long> numbered(const ccd_section& section, std::string_view kind) {
  const std::string_view name = section.name;
  if (name.size() <= kind.size() || !same_in_any_case(name.substr(0, kind.size()), kind)) return {};
  return ccd_number(trimmed(name.substr(kind.size())));
}

struct reading {
  const std::string& path;
  std::vector<ccd_section> sections;
};

std::string entry_name(const ccd_section& section) { return "[" + std::string(section.name) + "]"; }

// A key's number; a key that is missing gives `missing`, one that is no number a message.
int number_key(const reading& ccd, const ccd_section& section, std::string_view key,
               std::optional<long long> missing, long long& value) {
  const auto text = value_of(section, key);
  if (!text) {
    if (missing) {
      value = *missing;
      return 1;
    }
    return entry_error(ccd.path, entry_name(section), "no %.*s", static_cast<int>(key.size()),
                       key.data());
  }
  const auto number = ccd_number(trimmed(*text));
  if (!number)
    return entry_error(ccd.path, entry_name(section), "%.*s=%.*s is not a number",
                       static_cast<int>(key.size()), key.data(), static_cast<int>(text->size()),
                       text->data());
  value = *number;
  return 1;
}

struct toc_entry {
  const ccd_section* section;
  long long point, control, plba;
};

}  // namespace

int read_ccd(const std::string& path, std::string_view text, disc_table& table) {
  table = {};
  table.path = path;
  std::string decoded;
  text = readable_text(text, decoded);
  reading ccd{path, {}};
  while (!text.empty()) {
    const std::string_view line = trimmed(next_line(text));
    if (line.starts_with('[') && line.ends_with(']')) {
      ccd_section& section = ccd.sections.emplace_back();
      section.keys.reserve(12);  // an [Entry]'s
      section.name = trimmed(line.substr(1, line.size() - 2));
      section.entry = numbered(section, "Entry");
      section.track = numbered(section, "TRACK");
    } else if (const auto equals = line.find('=');
               equals != std::string_view::npos && !ccd.sections.empty()) {
      ccd.sections.back().keys.emplace_back(trimmed(line.substr(0, equals)),
                                            trimmed(line.substr(equals + 1)));
    }
  }

  const auto disc =
      std::find_if(ccd.sections.begin(), ccd.sections.end(),
                   [](const ccd_section& s) { return same_in_any_case(s.name, "Disc"); });
  const auto entry_sections = static_cast<std::size_t>(
      std::count_if(ccd.sections.begin(), ccd.sections.end(),
                    [](const ccd_section& s) { return s.entry.has_value(); }));
  if (disc != ccd.sections.end()) {
    long long scrambled = 0, toc_entries = 0;
    if (number_key(ccd, *disc, "DataTracksScrambled", 0, scrambled) != 1 ||
        number_key(ccd, *disc, "TocEntries", 0, toc_entries) != 1)
      return 0;
    if (scrambled != 0)
      return entry_error(path, "[Disc]",
                         "DataTracksScrambled=%lld: the data sectors are stored scrambled; ruvo "
                         "reads images of unscrambled sectors",
                         scrambled);
    if (toc_entries > static_cast<long long>(entry_sections))
      return entry_error(path, "[Disc]", "TocEntries=%lld, but only %zu [Entry] sections follow",
                         toc_entries, entry_sections);
  }

  std::vector<toc_entry> tracks;
  std::optional<toc_entry> lead_out;
  for (const ccd_section& section : ccd.sections) {
    if (!section.entry) continue;
    long long session = 0, point = 0, adr = 0, control = 0, plba = 0;
    if (number_key(ccd, section, "Session", 1, session) != 1 ||
        number_key(ccd, section, "Point", {}, point) != 1 ||
        number_key(ccd, section, "ADR", 1, adr) != 1 ||
        number_key(ccd, section, "Control", 0, control) != 1 ||
        number_key(ccd, section, "PLBA", {}, plba) != 1)
      return 0;
    // Later sessions are left out: where their tracks lie in the .img is
    // not known for certain. ADR 5 entries (B0, C0) only tell of sessions.
    if (session != 1 || (adr & 0x0F) != 1) continue;
    if (point == ccd::lead_out_point) lead_out = toc_entry{&section, point, control, plba};
    if (point < 1 || point > 99) continue;
    if (!tracks.empty() && (point <= tracks.back().point || plba <= tracks.back().plba))
      return entry_error(path, entry_name(section),
                         "track %02lld at LBA %lld does not follow track %02lld at LBA %lld", point,
                         plba, tracks.back().point, tracks.back().plba);
    if (plba < 0)
      return entry_error(path, entry_name(section),
                         "track %02lld begins at LBA %lld, before the image's first sector", point,
                         plba);
    tracks.push_back({&section, point, control, plba});
  }
  if (tracks.empty()) return error("%s: no track in the [Entry] sections\n", path.c_str());
  if (!lead_out) return error("%s: no lead-out entry (Point=0xa2) for session 1\n", path.c_str());
  if (lead_out->plba <= tracks.back().plba)
    return entry_error(path, entry_name(*lead_out->section),
                       "the lead-out at LBA %lld lies before the end of track %02lld",
                       lead_out->plba, tracks.back().point);

  std::string image = path;
  if (ends_in_any_case(image, ".ccd")) image.resize(image.size() - 4);
  image += ".img";
  const std::string folder = folder_of(path);
  table.files.push_back({resolve_file_name(folder, std::string_view(image).substr(folder.size())),
                         file_kind::binary, "", "its .img", to_file_end});

  // [TRACK n] INDEX 0 puts a track's pregap (part of the track before it, on
  // disc and in the .img) where it differs from INDEX 1.
  const auto index00 = [&ccd](long long track) -> std::optional<long long> {
    for (const ccd_section& section : ccd.sections)
      if (section.track == track)
        if (const auto text = value_of(section, "INDEX 0")) return ccd_number(trimmed(*text));
    return std::nullopt;
  };
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const toc_entry& track = tracks[i];
    long long end = i + 1 < tracks.size() ? tracks[i + 1].plba : lead_out->plba;
    if (i + 1 < tracks.size())
      if (const auto pregap = index00(tracks[i + 1].point);
          pregap && *pregap > track.plba && *pregap < end)
        end = *pregap;
    disc_track& added = table.tracks.emplace_back();
    added.number = static_cast<int>(track.point);
    const bool data = (track.control & ccd::data_control) != 0;
    added.layout = data ? sector_layout::raw : sector_layout::audio;
    added.mode_name = data ? "a data track" : "an audio track";
    added.sector_size = ccd::sector_size;
    if (const auto pregap = index00(track.point); pregap && *pregap >= 0 && *pregap < track.plba)
      added.index00 = static_cast<std::uint64_t>(*pregap) * ccd::sector_size;
    added.entry = entry_name(*track.section);
    added.pieces.push_back({0, static_cast<std::uint64_t>(track.plba) * ccd::sector_size,
                            static_cast<std::uint64_t>(end - track.plba) * ccd::sector_size});
  }
  return 1;
}
