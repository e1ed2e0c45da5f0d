// Alcohol 120% MDS, version 1: a binary descriptor of sessions and their
// track blocks (the TOC's entries, A0 to A2 among them), each track block
// giving its track's INDEX 01 as an LBA and as a byte offset in the MDF.
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "disc_table.h"
#include "error.h"
#include "file_names.h"
#include "image_layouts.h"
#include "list_text.h"

namespace {

template <std::size_t size>
std::uint64_t little_endian(const std::array<char, size>& block, std::size_t at, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(block[at + i]);
  return value;
}

// The zero-terminated name at `offset`, 8-bit or UTF-16LE, in UTF-8. Empty
// when it runs off the file or past a name's length.
std::string name_at(const byte_source& mds, std::uint64_t offset, bool wide) {
  constexpr std::size_t longest = 1024;
  std::string raw;
  const std::size_t unit = wide ? 2 : 1;
  std::array<char, 2> code{};
  for (; raw.size() < longest; offset += unit) {
    if (!read_bytes(mds, offset, code.data(), unit)) return {};
    if (code[0] == 0 && (!wide || code[1] == 0)) break;
    raw.append(code.data(), unit);
  }
  if (!wide) return raw;
  std::string decoded;
  return std::string(readable_text("\xFF\xFE" + raw, decoded));
}

struct mds_track {
  std::string entry;
  int number;
  unsigned mode;
  std::uint32_t sector_size;
  std::int64_t lba;  // of INDEX 01
  std::uint64_t offset;
  std::uint32_t pregap;
  std::size_t file;
  std::int64_t end_lba;  // where the next track's pregap, or the lead-out, begins
};

}  // namespace

int read_mds(const std::string& path, const byte_source& mds, disc_table& table) {
  table = {};
  table.path = path;
  std::array<char, mds::header_size> header{};
  if (!read_bytes(mds, 0, header.data(), header.size()) ||
      std::string_view(header.data(), mds::signature.size()) != mds::signature)
    return error("%s: no MEDIA DESCRIPTOR header\n", path.c_str());
  const auto major = static_cast<unsigned>(little_endian(header, mds::version_major, 1));
  if (major != 1)
    return error("%s: an MDS file of version %u.%u; ruvo reads version 1\n", path.c_str(), major,
                 static_cast<unsigned>(little_endian(header, mds::version_minor, 1)));
  const std::uint64_t sessions = little_endian(header, mds::session_count, 2);
  const std::uint64_t sessions_at = little_endian(header, mds::sessions_offset, 4);
  const std::string folder = folder_of(path);

  std::vector<mds_track> tracks;
  std::map<std::string, std::string> names;
  for (std::uint64_t s = 0; s < sessions; ++s) {
    const std::string session_entry = "session " + std::to_string(s + 1);
    std::array<char, mds::session_size> session{};
    if (!read_bytes(mds, sessions_at + s * mds::session_size, session.data(), session.size()))
      return entry_error(path, session_entry, "the session block lies beyond the end of the file");
    const auto lead_out = static_cast<std::int32_t>(little_endian(session, mds::session_end, 4));
    const std::uint64_t blocks = little_endian(session, mds::session_blocks, 1);
    const std::uint64_t blocks_at = little_endian(session, mds::session_tracks_offset, 4);
    const std::size_t first_of_session = tracks.size();
    for (std::uint64_t b = 0; b < blocks; ++b) {
      const std::string entry = session_entry + ", block " + std::to_string(b + 1);
      std::array<char, mds::track_size> block{};
      if (!read_bytes(mds, blocks_at + b * mds::track_size, block.data(), block.size()))
        return entry_error(path, entry, "the track block lies beyond the end of the file");
      const auto point = static_cast<int>(little_endian(block, mds::track_point, 1));
      if (point < 1 || point > 99) continue;  // A0, A1, A2, B0, C0: nothing of where sectors lie
      mds_track track{entry, point,
                      static_cast<unsigned>(little_endian(block, mds::track_mode_code, 1) & 0x0F),
                      static_cast<std::uint32_t>(little_endian(block, mds::track_sector_size, 2)),
                      static_cast<std::int32_t>(little_endian(block, mds::track_start_lba, 4)),
                      little_endian(block, mds::track_start_offset, 8), 0, 0, lead_out};
      if (!tracks.empty() && (track.number <= tracks.back().number || track.lba <= tracks.back().lba))
        return entry_error(path, entry, "track %02d at LBA %lld does not follow track %02d at LBA %lld",
                           track.number, static_cast<long long>(track.lba),
                           tracks.back().number, static_cast<long long>(tracks.back().lba));
      if (const std::uint64_t extra_at = little_endian(block, mds::track_extra_offset, 4);
          extra_at != 0) {
        std::array<char, mds::extra_size> extra{};
        if (!read_bytes(mds, extra_at, extra.data(), extra.size()))
          return entry_error(path, entry, "the track's extra block lies beyond the end of the file");
        track.pregap = static_cast<std::uint32_t>(little_endian(extra, mds::extra_pregap, 4));
      }
      if (little_endian(block, mds::track_file_count, 4) > 1)
        return entry_error(path, entry, "track %02d is split over several files; ruvo reads "
                           "images in one MDF", track.number);
      std::array<char, mds::footer_size> footer{};
      if (!read_bytes(mds, little_endian(block, mds::track_footer_offset, 4), footer.data(),
                      footer.size()))
        return entry_error(path, entry, "the file name block lies beyond the end of the file");
      std::string name = name_at(mds, little_endian(footer, mds::footer_name_offset, 4),
                                 little_endian(footer, mds::footer_wide, 4) == 1);
      if (name.empty()) return entry_error(path, entry, "track %02d names no file", track.number);
      if (name == mds::own_name) {
        name = path.substr(folder.size());
        if (ends_in_any_case(name, ".mds")) name.resize(name.size() - 4);
        name += ".mdf";
      }
      // The tracks of one file name it each; it is looked for once.
      const std::string& file = resolve_once(names, folder, name);
      track.file = table.files.size();
      for (std::size_t i = 0; i < table.files.size(); ++i)
        if (table.files[i].path == file) track.file = i;
      if (track.file == table.files.size())
        table.files.push_back({file, file_kind::binary, "", entry, to_file_end});
      if (tracks.size() > first_of_session)
        tracks.back().end_lba = track.lba - static_cast<std::int64_t>(track.pregap);
      tracks.push_back(track);
    }
  }
  if (tracks.empty()) return error("%s: no track block in the MDS file\n", path.c_str());

  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const mds_track& track = tracks[i];
    disc_track& added = table.tracks.emplace_back();
    added.number = track.number;
    added.entry = track.entry;
    added.sector_size = track.sector_size;
    const auto mode = std::find_if(mds::modes.begin(), mds::modes.end(),
                                   [&track](const image_mode& m) { return m.code == track.mode; });
    if (mode == mds::modes.end())
      return entry_error(path, track.entry, "track %02d has the unknown mode 0x%X", track.number,
                         track.mode);
    added.mode_name = mode->name;
    const bool raw_size = track.sector_size == mode->sector_size ||
                          track.sector_size == mode->sector_size + subchannel_size;
    const bool data = mode->layout != sector_layout::audio;
    if (raw_size)
      added.layout = mode->layout;
    else if (data && track.sector_size == 2048)
      added.layout = track.mode == 0xD ? sector_layout::unreadable : sector_layout::user_data;
    else if (data && track.sector_size == 2336)
      added.layout = sector_layout::mode2_xa;
    else
      return entry_error(path, track.entry, "track %02d (%s) has %u-byte sectors", track.number,
                         mode->name.data(), track.sector_size);
    if (track.end_lba <= track.lba)
      return entry_error(path, track.entry, "track %02d at LBA %lld ends before it begins",
                         track.number, static_cast<long long>(track.lba));
    const std::uint64_t length =
        static_cast<std::uint64_t>(track.end_lba - track.lba) * track.sector_size;
    if (track.offset > to_file_end - 1 - length)
      return entry_error(path, track.entry, "track %02d lies beyond the end of any file",
                         track.number);
    added.pieces.push_back({track.file, track.offset, length});
    const std::uint64_t pregap_bytes = std::uint64_t{track.pregap} * track.sector_size;
    if (i > 0 && tracks[i - 1].file == track.file) {
      const std::uint64_t previous_end = table.tracks[i - 1].pieces.front().offset +
                                         table.tracks[i - 1].pieces.front().length;
      if (track.offset < previous_end)
        return entry_error(path, track.entry, "track %02d overlaps track %02d in %s", track.number,
                           tracks[i - 1].number, table.files[track.file].path.c_str());
      // Where the pregap is kept, the sectors run back to back by LBA.
      if (pregap_bytes > 0 && track.offset - previous_end == pregap_bytes)
        added.index00 = previous_end;
    }
  }
  return 1;
}
