// Nero NRG: the sectors, then a list of chunks that the footer points to.
// Where the tracks lie comes from DAOI/DAOX (disc at once: index 00, index
// 01 and end of each track as byte offsets) or ETNF/ETN2 (track at once:
// offset and length); the CUE entries' addresses, SINF and the rest are
// passed over.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disc_table.h"
#include "error.h"
#include "image_layouts.h"

namespace {

std::uint64_t big_endian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Chunks that hold tracks are a few kilobytes; larger ones are passed over unread.
constexpr std::uint32_t largest_read = 1 << 20;

struct nrg_state {
  const std::string& path;
  disc_table& table;
  std::uint64_t data_end;  // the chunk list's start: no sector lies past it
  std::uint64_t last_end = 0;
};

// Adds the track whose sectors are `index00` to `end`, INDEX 01 at `index01`.
int add_track(nrg_state& nrg, const std::string& entry, unsigned code, std::uint32_t size,
              std::uint64_t index00, std::uint64_t index01, std::uint64_t end) {
  auto& tracks = nrg.table.tracks;
  const int number = tracks.empty() ? 1 : tracks.back().number + 1;
  if (number > 99) return entry_error(nrg.path, entry, "more than 99 tracks");
  const auto mode = std::find_if(nrg::modes.begin(), nrg::modes.end(),
                                 [code](const image_mode& m) { return m.code == code; });
  if (mode == nrg::modes.end())
    return entry_error(nrg.path, entry, "track %02d has the unknown mode code 0x%02X", number,
                       code);
  if (size != mode->sector_size &&
      !(mode->sector_size == 2352 && size == mode->sector_size + subchannel_size))
    return entry_error(nrg.path, entry, "track %02d (%s) has %u-byte sectors", number,
                       mode->name.data(), size);
  if (index00 > index01 || index01 >= end || end > nrg.data_end)
    return entry_error(nrg.path, entry,
                       "track %02d: its bytes %llu to %llu do not lie within the %llu bytes of "
                       "sectors",
                       number, static_cast<unsigned long long>(index00),
                       static_cast<unsigned long long>(end),
                       static_cast<unsigned long long>(nrg.data_end));
  if ((index01 - index00) % size != 0 || (end - index01) % size != 0)
    return entry_error(nrg.path, entry, "track %02d is no whole number of %u-byte sectors",
                       number, size);
  if (index00 < nrg.last_end)
    return entry_error(nrg.path, entry, "track %02d overlaps track %02d", number,
                       tracks.back().number);
  nrg.last_end = end;
  disc_track& added = tracks.emplace_back();
  added.number = number;
  added.layout = mode->layout;
  added.mode_name = mode->name;
  added.sector_size = size;
  if (index00 < index01) added.index00 = index00;
  added.pieces.push_back({0, index01, end - index01});
  added.entry = entry;
  return 1;
}

int dao_chunk(nrg_state& nrg, std::string_view id, std::string_view body) {
  const bool wide = id == "DAOX";
  const std::size_t record = wide ? nrg::dao_record_v2 : nrg::dao_record_v1;
  const std::size_t offset_size = wide ? 8 : 4;
  if (body.size() < nrg::dao_head || (body.size() - nrg::dao_head) % record != 0)
    return entry_error(nrg.path, std::string(id),
                       "%zu bytes, not a head and whole track records", body.size());
  for (std::size_t at = nrg::dao_head; at < body.size(); at += record) {
    const std::string entry =
        std::string(id) + " record " + std::to_string((at - nrg::dao_head) / record + 1);
    const std::size_t offsets = at + nrg::dao_offsets;
    if (add_track(nrg, entry, static_cast<unsigned>(big_endian(body, at + nrg::dao_mode, 1)),
                  static_cast<std::uint32_t>(big_endian(body, at + nrg::dao_sector_size, 2)),
                  big_endian(body, offsets, offset_size),
                  big_endian(body, offsets + offset_size, offset_size),
                  big_endian(body, offsets + 2 * offset_size, offset_size)) != 1)
      return 0;
  }
  return 1;
}

int etn_chunk(nrg_state& nrg, std::string_view id, std::string_view body) {
  const bool wide = id == "ETN2";
  const std::size_t record = wide ? nrg::etn_record_v2 : nrg::etn_record_v1;
  const std::size_t number_size = wide ? 8 : 4;
  if (body.size() % record != 0)
    return entry_error(nrg.path, std::string(id), "%zu bytes, not whole track records",
                       body.size());
  for (std::size_t at = 0; at < body.size(); at += record) {
    const std::string entry = std::string(id) + " record " + std::to_string(at / record + 1);
    const std::uint64_t offset = big_endian(body, at, number_size);
    const std::uint64_t length = big_endian(body, at + number_size, number_size);
    const auto code = static_cast<unsigned>(big_endian(body, at + 2 * number_size, 4));
    const auto mode = std::find_if(nrg::modes.begin(), nrg::modes.end(),
                                   [code](const image_mode& m) { return m.code == code; });
    // Track at once keeps no sector size: the mode's own, with subchannel for the codes that have one.
    const std::uint32_t size =
        mode == nrg::modes.end() ? 0
        : mode->code >= 0x0F     ? mode->sector_size + subchannel_size
                                 : mode->sector_size;
    if (length > nrg.data_end || offset > nrg.data_end - length)
      return entry_error(nrg.path, entry, "the track lies beyond the %llu bytes of sectors",
                         static_cast<unsigned long long>(nrg.data_end));
    if (add_track(nrg, entry, code, size, offset, offset, offset + length) != 1) return 0;
  }
  return 1;
}

}  // namespace

int read_nrg(const std::string& path, const byte_source& source, disc_table& table) {
  table = {};
  table.path = path;
  std::array<char, 12> tail{};
  const std::uint64_t size = source.size;
  const bool v2 = size >= 12 && read_bytes(source, size - 12, tail.data(), 12) &&
                  std::string_view(tail.data(), 4) == nrg::footer_v2;
  const bool v1 = !v2 && size >= 8 && read_bytes(source, size - 8, tail.data(), 8) &&
                  std::string_view(tail.data(), 4) == nrg::footer_v1;
  if (!v1 && !v2) return error("%s: no Nero footer (NER5 or NERO) at its end\n", path.c_str());
  const std::uint64_t footer_at = size - (v2 ? 12 : 8);
  const std::uint64_t list_at = big_endian({tail.data(), tail.size()}, 4, v2 ? 8 : 4);
  if (list_at > footer_at)
    return error("%s: the footer puts the chunk list at byte %llu, past the file's end\n",
                 path.c_str(), static_cast<unsigned long long>(list_at));
  table.files.push_back({path, file_kind::binary, "", "the image itself", size});
  nrg_state nrg{path, table, list_at};
  std::string body;
  for (std::uint64_t at = list_at;;) {
    std::array<char, nrg::chunk_head> head{};
    if (footer_at - at < head.size() || !read_bytes(source, at, head.data(), head.size()))
      return error("%s: the chunk list ends at byte %llu without an END! chunk\n", path.c_str(),
                   static_cast<unsigned long long>(at));
    const std::string id(head.data(), 4);
    const std::uint64_t length = big_endian({head.data(), head.size()}, 4, 4);
    const std::string entry = id + " chunk at byte " + std::to_string(at);
    if (id == nrg::end_chunk) break;
    if (length > footer_at - at - head.size())
      return entry_error(path, entry, "its %llu bytes run past the chunk list",
                         static_cast<unsigned long long>(length));
    const bool dao = id == "DAOI" || id == "DAOX", etn = id == "ETNF" || id == "ETN2";
    if (dao || etn) {
      if (length > largest_read)
        return entry_error(path, entry, "%llu bytes, too long for a track list",
                           static_cast<unsigned long long>(length));
      body.resize(static_cast<std::size_t>(length));
      if (!read_bytes(source, at + head.size(), body.data(), body.size()))
        return entry_error(path, entry, "cannot be read");
      if ((dao ? dao_chunk(nrg, id, body) : etn_chunk(nrg, id, body)) != 1) return 0;
    }
    at += head.size() + length;
  }
  if (table.tracks.empty())
    return error("%s: no DAOI, DAOX, ETNF or ETN2 chunk lists a track\n", path.c_str());
  return 1;
}
