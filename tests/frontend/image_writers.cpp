#include "image_writers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image_layouts.h"
#include "raw_sector.h"
#include "run_program.h"

namespace image_writers {
namespace {

// Every track in LBA order: its first stored sector (pregap), INDEX 01, end.
struct placed {
  bool audio;
  std::uint32_t start, index01, end;
};

std::vector<placed> layout(const disc_spec& disc) {
  std::vector<placed> tracks{{false, 0, 0, disc.data_sectors}};
  for (const audio_track& t : disc.audio) {
    const std::uint32_t start = tracks.back().end;
    tracks.push_back({true, start, start + t.pregap, start + t.pregap + t.sectors});
  }
  return tracks;
}

// Audio sectors are 2352 bytes (+ 96) in images whose data sectors are 2048.
std::uint32_t sector_bytes(const disc_spec& disc, bool audio) {
  return audio && disc.sector_size == raw_sector::data_size ? raw_sector::size : disc.sector_size;
}

// Where sector `lba` lies in an image whose first sector is `first`.
std::uint64_t byte_of(const disc_spec& disc, std::int64_t first, std::int64_t lba) {
  const std::int64_t data_end = disc.data_sectors;
  return static_cast<std::uint64_t>((std::min(lba, data_end) - first) * sector_bytes(disc, false) +
                                    std::max<std::int64_t>(0, lba - data_end) * sector_bytes(disc, true));
}

// Sector `lba` as the image stores it (negative LBAs: track 1's pregap).
std::string stored_sector(const disc_spec& disc, std::int64_t lba) {
  std::string sector;
  if (lba >= disc.data_sectors) {
    sector = audio_sector(static_cast<std::uint32_t>(lba));
  } else {
    std::string user(raw_sector::data_size, '\0');
    if (lba >= 0) {
      const std::size_t from = static_cast<std::size_t>(lba) * raw_sector::data_size;
      if (from < disc.data.size()) disc.data.copy(user.data(), raw_sector::data_size, from);
    }
    if (disc.sector_size == raw_sector::data_size) return user;
    sector.resize(raw_sector::size);
    raw_sector::put_raw_sector(reinterpret_cast<unsigned char*>(sector.data()),
                               static_cast<std::uint32_t>(lba), 1,
                               reinterpret_cast<const unsigned char*>(user.data()));
  }
  sector.resize(sector_bytes(disc, lba >= disc.data_sectors), '\xEE');  // subchannel
  return sector;
}

std::string sectors(const disc_spec& disc, std::int64_t from, std::int64_t to) {
  std::string bytes;
  for (std::int64_t lba = from; lba < to; ++lba) bytes += stored_sector(disc, lba);
  return bytes;
}

template <typename value_type>
void put_number(std::string& bytes, std::size_t at, std::size_t size, value_type value,
                bool big) {
  if (bytes.size() < at + size) bytes.resize(at + size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[at + (big ? size - 1 - i : i)] =
        static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}
void put_le(std::string& b, std::size_t at, std::size_t size, auto v) { put_number(b, at, size, v, false); }
void put_be(std::string& b, std::size_t at, std::size_t size, auto v) { put_number(b, at, size, v, true); }

std::string msf_text(std::uint32_t sectors) {
  const raw_sector::msf t = raw_sector::msf_of(sectors);
  return std::to_string(t.minutes) + ":" + std::to_string(t.seconds) + ":" +
         std::to_string(t.frames);
}

}  // namespace

std::string audio_sector(std::uint32_t lba) {
  std::string sector(raw_sector::size, '\0');
  for (std::size_t i = 0; i < sector.size(); i += 2)
    put_le(sector, i, 2, (lba * 977 + i * 13) & 0xFFFF);
  return sector;
}

std::string expected_pcm(const disc_spec& disc) {
  std::string pcm;
  for (const placed& t : layout(disc))
    for (std::uint32_t lba = t.index01; t.audio && lba < t.end; ++lba) pcm += audio_sector(lba);
  return pcm;
}

std::string write_cue(const std::string& folder, const disc_spec& disc) {
  const std::vector<placed> tracks = layout(disc);
  test_support::write_file(folder + "/disc.bin", sectors(disc, 0, tracks.back().end));
  const auto time = [](std::uint32_t sectors) {
    const raw_sector::msf t = raw_sector::msf_of(sectors);
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", t.minutes, t.seconds, t.frames);
    return std::string(text);
  };
  std::string text = std::string("FILE \"disc.bin\" BINARY\n  TRACK 01 ") +
                     (disc.sector_size == raw_sector::data_size ? "MODE1/2048" : "MODE1/2352") +
                     "\n    INDEX 01 00:00:00\n";
  for (std::size_t i = 1; i < tracks.size(); ++i)
    text += "  TRACK " + std::string(i + 1 < 10 ? "0" : "") + std::to_string(i + 1) + " AUDIO\n" +
            (tracks[i].start < tracks[i].index01 ? "    INDEX 00 " + time(tracks[i].start) + "\n"
                                                 : std::string()) +
            "    INDEX 01 " + time(tracks[i].index01) + "\n";
  test_support::write_file(folder + "/disc.cue", text);
  return folder + "/disc.cue";
}

std::string write_ccd(const std::string& folder, const disc_spec& disc) {
  const std::vector<placed> tracks = layout(disc);
  test_support::write_file(folder + "/disc.img", sectors(disc, 0, tracks.back().end));
  std::string text = "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=" +
                     std::to_string(tracks.size() + 3) +
                     "\r\nSessions=1\r\nDataTracksScrambled=0\r\nCDTextLength=0\r\n"
                     "[Session 1]\r\nPreGapMode=1\r\nPreGapSubC=0\r\n";
  int entry = 0;
  const auto add_entry = [&](unsigned point, unsigned control, std::uint32_t plba) {
    char number[12];
    std::snprintf(number, sizeof number, "0x%02x", point);
    text += "[Entry " + std::to_string(entry++) + "]\r\nSession=1\r\nPoint=" + number +
            "\r\nADR=0x01\r\nControl=0x0" + std::to_string(control) +
            "\r\nTrackNo=0\r\nPLBA=" + std::to_string(plba) + "\r\n";
  };
  add_entry(0xA0, ccd::data_control, 1);
  add_entry(0xA1, 0, static_cast<std::uint32_t>(tracks.size()));
  add_entry(ccd::lead_out_point, 0, tracks.back().end);
  for (std::size_t i = 0; i < tracks.size(); ++i)
    add_entry(static_cast<unsigned>(i + 1), tracks[i].audio ? 0 : ccd::data_control,
              tracks[i].index01);
  for (std::size_t i = 0; i < tracks.size(); ++i)
    text += "[TRACK " + std::to_string(i + 1) + "]\r\nMODE=" + (tracks[i].audio ? "0" : "1") +
            (tracks[i].start < tracks[i].index01
                 ? "\r\nINDEX 0=" + std::to_string(tracks[i].start)
                 : std::string()) +
            "\r\nINDEX 1=" + std::to_string(tracks[i].index01) + "\r\n";
  test_support::write_file(folder + "/disc.ccd", text);
  return folder + "/disc.ccd";
}

std::string write_toc(const std::string& folder, const disc_spec& disc) {
  const std::vector<placed> tracks = layout(disc);
  std::string bin = sectors(disc, 0, tracks.back().end);
  for (std::size_t i = byte_of(disc, 0, disc.data_sectors); i + 1 < bin.size(); i += 2)
    std::swap(bin[i], bin[i + 1]);
  // A few bytes before the disc, for the #offset.
  test_support::write_file(folder + "/disc.bin", "toc" + bin);
  const bool sub = disc.sector_size > raw_sector::size;
  const bool cooked = disc.sector_size == raw_sector::data_size;
  std::string text = "// written for a test\nCD_ROM\nCD_TEXT { LANGUAGE_MAP { 0 : EN }\n"
                     "  LANGUAGE 0 { TITLE \"a } in a string\" } }\n";
  text += std::string(cooked ? "TRACK MODE1" : "TRACK MODE1_RAW") + (sub ? " RW_RAW" : "") +
          "\nDATAFILE \"disc.bin\" #3 " + msf_text(disc.data_sectors) + "\n";
  for (const placed& t : tracks) {
    if (!t.audio) continue;
    text += std::string("TRACK AUDIO") + (sub ? " RW_RAW" : "") + "\nNO COPY\nFILE \"disc.bin\" #" +
            std::to_string(3 + byte_of(disc, 0, t.start)) + " 0 " +
            msf_text(t.end - t.start) + "\n" +
            (t.start < t.index01 ? "START " + msf_text(t.index01 - t.start) + "\n" : "");
  }
  test_support::write_file(folder + "/disc.toc", text);
  return folder + "/disc.toc";
}

std::string write_mds(const std::string& folder, const disc_spec& disc) {
  const std::vector<placed> tracks = layout(disc);
  test_support::write_file(folder + "/disc.mdf", sectors(disc, 0, tracks.back().end));
  using namespace mds;
  const std::size_t blocks_at = header_size + session_size;
  const std::size_t extras_at = blocks_at + (tracks.size() + 3) * track_size;
  const std::size_t footer_at = extras_at + tracks.size() * extra_size;
  std::string d(signature);
  put_le(d, version_major, 1, 1);
  put_le(d, version_minor, 1, 5);
  put_le(d, session_count, 2, 1);
  put_le(d, sessions_offset, 4, header_size);
  put_le(d, header_size, 4, -150);
  put_le(d, header_size + session_end, 4, tracks.back().end);
  put_le(d, header_size + session_number, 2, 1);
  put_le(d, header_size + session_blocks, 1, tracks.size() + 3);
  put_le(d, header_size + session_tracks_offset, 4, blocks_at);
  for (unsigned point = 0xA0; point <= 0xA2; ++point)
    put_le(d, blocks_at + (point - 0xA0) * track_size + track_point, 1, point);
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const std::size_t at = blocks_at + (i + 3) * track_size;
    put_le(d, at + track_mode_code, 1, tracks[i].audio ? 0xA9 : 0xAA);
    put_le(d, at + track_point, 1, i + 1);
    put_le(d, at + track_extra_offset, 4, extras_at + i * extra_size);
    put_le(d, at + track_sector_size, 2, sector_bytes(disc, tracks[i].audio));
    put_le(d, at + track_start_lba, 4, tracks[i].index01);
    put_le(d, at + track_start_offset, 8, byte_of(disc, 0, tracks[i].index01));
    put_le(d, at + track_file_count, 4, 1);
    put_le(d, at + track_footer_offset, 4, footer_at);
    put_le(d, extras_at + i * extra_size + extra_pregap, 4,
           i == 0 ? 150 : tracks[i].index01 - tracks[i].start);
    put_le(d, extras_at + i * extra_size + extra_length, 4, tracks[i].end - tracks[i].index01);
  }
  put_le(d, footer_at + footer_name_offset, 4, footer_at + footer_size);
  d.resize(footer_at + footer_size);
  d += std::string(own_name) + '\0';
  test_support::write_file(folder + "/disc.mds", d);
  return folder + "/disc.mds";
}

std::string write_nrg(const std::string& folder, const disc_spec& disc, int version) {
  const std::vector<placed> tracks = layout(disc);
  const bool v2 = version == 2;
  // Disc at once keeps track 1's pregap: the image begins at LBA -150.
  std::string image = sectors(disc, -150, tracks.back().end);
  const auto nrg_byte = [&disc](std::int64_t lba) { return byte_of(disc, -150, lba); };
  const std::size_t list_at = image.size();
  const auto chunk = [&image](std::string_view id, const std::string& body) {
    image += id;
    put_be(image, image.size(), 4, body.size());
    image += body;
  };
  std::string cue;
  const auto cue_entry = [&cue, v2](unsigned control, unsigned track, unsigned index,
                                    std::int64_t lba) {
    const auto bcd = [](unsigned v) { return v == 0xAA ? v : v / 10 * 16 + v % 10; };
    const std::size_t at = cue.size();
    put_be(cue, at, 1, control);
    put_be(cue, at + 1, 1, bcd(track));
    put_be(cue, at + 2, 1, bcd(index));
    const raw_sector::msf t = raw_sector::msf_of(static_cast<std::uint32_t>(lba + 150));
    put_be(cue, at + 4, 4, v2 ? static_cast<std::uint32_t>(lba)
                              : t.minutes << 16 | t.seconds << 8 | t.frames);
  };
  std::string dao(nrg::dao_head, '\0');
  put_be(dao, nrg::dao_first_track, 1, 1);
  put_be(dao, nrg::dao_first_track + 1, 1, tracks.size());
  const std::uint32_t size = disc.sector_size;
  const unsigned data_code = size == raw_sector::data_size ? 0x00 : size > 2352 ? 0x0F : 0x05;
  cue_entry(0x41, 0, 0, -150);
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const placed& t = tracks[i];
    const std::int64_t start = i == 0 ? std::int64_t{-150} : std::int64_t{t.start};
    cue_entry(t.audio ? 0x01 : 0x41, static_cast<unsigned>(i + 1), 0, start);
    cue_entry(t.audio ? 0x01 : 0x41, static_cast<unsigned>(i + 1), 1, t.index01);
    std::string record(v2 ? nrg::dao_record_v2 : nrg::dao_record_v1, '\0');
    put_be(record, nrg::dao_sector_size, 2, sector_bytes(disc, t.audio));
    put_be(record, nrg::dao_mode, 1, t.audio ? (size > 2352 ? 0x10 : 0x07) : data_code);
    const std::size_t width = v2 ? 8 : 4;
    put_be(record, nrg::dao_offsets, width, nrg_byte(start));
    put_be(record, nrg::dao_offsets + width, width, nrg_byte(t.index01));
    put_be(record, nrg::dao_offsets + 2 * width, width, nrg_byte(t.end));
    dao += record;
  }
  cue_entry(0x01, 0xAA, 1, tracks.back().end);
  put_be(dao, 0, 4, dao.size());
  chunk(v2 ? "CUEX" : "CUES", cue);
  chunk(v2 ? "DAOX" : "DAOI", dao);
  std::string sinf;
  put_be(sinf, 0, 4, tracks.size());
  chunk("SINF", sinf);
  chunk(nrg::end_chunk, "");
  image += v2 ? nrg::footer_v2 : nrg::footer_v1;
  put_be(image, image.size(), v2 ? 8 : 4, list_at);
  test_support::write_file(folder + "/disc.nrg", image);
  return folder + "/disc.nrg";
}

}  // namespace image_writers
