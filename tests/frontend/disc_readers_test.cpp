// The image readers in-process: images made by the writers, read into the
// track table, and the table followed to the bytes of the data track and to
// the audio that -m plays; malformed descriptors give their message. Where
// Debian's own readers are installed, they read the same images.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "disc_table.h"
#include "image_layouts.h"
#include "image_writers.h"
#include "raw_sector.h"
#include "ruvo_test.h"
#include "run_program.h"

namespace {

using namespace image_writers;

std::string file_bytes(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(length, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(length));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return bytes;
}

// Detects the format and reads the descriptor as ruvo will, the files
// measured; the reader's message, if any, in `message`.
int read_image(const std::string& path, disc_table& table, std::string& message) {
  const std::string bytes = test_support::read_file(path);
  const std::string_view all = bytes;
  testing::internal::CaptureStderr();
  int result = 0;
  switch (detect_disc_format(path, all.substr(0, 3584),
                             all.substr(all.size() - std::min<std::size_t>(all.size(), 12)))) {
    case disc_format::ccd: result = read_ccd(path, all, table); break;
    case disc_format::toc: result = read_toc(path, all, table); break;
    case disc_format::mds: result = read_mds(path, memory_bytes(all), table); break;
    case disc_format::nrg: result = read_nrg(path, memory_bytes(all), table); break;
    default: break;
  }
  for (disc_file& file : table.files) {
    struct stat info {};
    if (result == 1 && stat(file.path.c_str(), &info) == 0)
      file.size = static_cast<std::uint64_t>(info.st_size);
  }
  if (result == 1) result = check_pieces(table);
  message = testing::internal::GetCapturedStderr();
  return result;
}

// Track 1's user data, sector by sector as its layout stores it.
std::string user_data(const disc_table& table) {
  const disc_track& track = table.tracks.front();
  std::string data;
  for (std::uint64_t at = 0; at < track.pieces.front().length; at += track.sector_size) {
    const std::string sector =
        file_bytes(index01_file(table, track)->path, index01_offset(track) + at, track.sector_size);
    const std::size_t offset =
        track.layout == sector_layout::raw
            ? raw_sector::data_offset(static_cast<unsigned char>(sector[raw_sector::mode_offset]),
                                      static_cast<unsigned char>(sector[raw_sector::submode_offset]))
            : track.layout == sector_layout::mode2_xa ? 8 : 0;
    data += sector.substr(offset, raw_sector::data_size);
  }
  return data;
}

// The audio from track 2 on as a player takes it from the table: without
// subchannel, big-endian samples swapped, silence as zeros.
std::string pcm(const disc_table& table) {
  std::string audio;
  for (const disc_track& track : table.tracks) {
    if (track.number < 2 || track.layout != sector_layout::audio) continue;
    for (const track_piece& piece : track.pieces) {
      if (piece.file == no_file) {
        audio.append(piece.length, '\0');
        continue;
      }
      const disc_file& file = table.files[piece.file];
      const std::string bytes = file_bytes(file.path, piece.offset, piece.length);
      std::string samples;
      for (std::size_t at = 0; at < bytes.size(); at += track.sector_size)
        samples += bytes.substr(at, raw_sector::size);
      if (file.kind == file_kind::motorola)
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2) std::swap(samples[i], samples[i + 1]);
      audio += samples;
    }
  }
  return audio;
}

disc_spec disc(std::uint32_t sector_size = 2352) {
  return {ruvo_test::valid_image(), 2, {{150, 3}, {0, 2}, {40, 1}}, sector_size};
}

// Audio compares by where it first differs: a whole dump helps nobody.
testing::AssertionResult same_audio(const std::string& got, const std::string& expected) {
  const auto at = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
  if (at.first == got.end() && at.second == expected.end()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << got.size() << " bytes against " << expected.size()
                                     << ", first differing at byte " << at.first - got.begin();
}

using writer = std::string (*)(const std::string& folder, const disc_spec& disc);
std::string nrg_v1(const std::string& f, const disc_spec& d) { return write_nrg(f, d, 1); }
std::string nrg_v2(const std::string& f, const disc_spec& d) { return write_nrg(f, d, 2); }

// What spoils a written image: the first `from` in one of its files becomes
// `to`, or the file is cut to `cut` bytes.
struct spoil {
  std::string file;
  std::string from, to;
  std::size_t cut = 0;
};

struct reader_case {
  const char* name;
  disc_spec spec;
  writer write;
  spoil spoilt;
  std::string message;  // empty: reads; else its message, <folder> standing for the folder
};
void PrintTo(const reader_case& c, std::ostream* os) { *os << c.name; }

const std::string nul(5, '\0');
const reader_case reader_cases[] = {
    {"Ccd", disc(), write_ccd, {}, ""},
    {"Toc", disc(), write_toc, {}, ""},
    {"TocCooked", disc(2048), write_toc, {}, ""},
    {"TocWithSubchannel", disc(2448), write_toc, {}, ""},
    {"Mds", disc(), write_mds, {}, ""},
    {"MdsCooked", disc(2048), write_mds, {}, ""},
    {"MdsWithSubchannel", disc(2448), write_mds, {}, ""},
    {"NrgVersion1", disc(), nrg_v1, {}, ""},
    {"NrgVersion2", disc(), nrg_v2, {}, ""},
    {"NrgCooked", disc(2048), nrg_v2, {}, ""},
    {"NrgWithSubchannel", disc(2448), nrg_v1, {}, ""},
    {"CcdScrambled", disc(), write_ccd, {"disc.ccd", "Scrambled=0", "Scrambled=1"},
     "<folder>/disc.ccd: [Disc]: DataTracksScrambled=1: the data sectors are stored scrambled; "
     "ruvo reads images of unscrambled sectors\n"},
    {"CcdTracksOutOfOrder", disc(), write_ccd, {"disc.ccd", "PLBA=155\r", "PLBA=100\r"},
     "<folder>/disc.ccd: [Entry 5]: track 03 at LBA 100 does not follow track 02 at LBA 152\n"},
    {"CcdImageCutShort", disc(), write_ccd, {"disc.img", "", "", 3 * 2352},
     "<folder>/disc.ccd: [Entry 4]: track 02 lies beyond the end of <folder>/disc.img (7056 "
     "bytes)\n"},
    {"TocUnclosedCdText", disc(), write_toc, {"disc.toc", "\" } }", "\" }"},
     "<folder>/disc.toc: line 3: the CD_TEXT block is not closed\n"},
    {"TocStartPastTheEnd", disc(), write_toc, {"disc.toc", "START 0:2:0", "START 0:2:3"},
     "<folder>/disc.toc: line 7: track 02: START lies at or after its end\n"},
    {"MdsVersion2", disc(), write_mds, {"disc.mds", "DESCRIPTOR\x01", "DESCRIPTOR\x02"},
     "<folder>/disc.mds: an MDS file of version 2.5; ruvo reads version 1\n"},
    {"MdsCutShort", disc(), write_mds, {"disc.mds", "", "", 300},
     "<folder>/disc.mds: session 1, block 3: the track block lies beyond the end of the file\n"},
    // Track 1's end, 152 sectors in, put far past the sectors.
    {"NrgTrackPastItsSectors", disc(), nrg_v2, {"disc.nrg", nul + "\x05\x74\x80", "\x7F" + nul.substr(1) + "\x05\x74\x80"},
     "<folder>/disc.nrg: DAOX record 1: track 01: its bytes 0 to 9151314442817205376 do not lie "
     "within the 818496 bytes of sectors\n"},
    {"NrgWithoutEnd", disc(), nrg_v1, {"disc.nrg", "END!", "ENDE"},
     "<folder>/disc.nrg: the chunk list ends at byte 818754 without an END! chunk\n"},
};

class reader_test : public testing::TestWithParam<reader_case> {};

TEST_P(reader_test, reads_the_image_or_says_why_not) {
  const reader_case& c = GetParam();
  const std::string folder = test_support::make_temp_dir();
  const std::string path = c.write(folder, c.spec);
  if (!c.spoilt.file.empty()) {
    const std::string spoilt = folder + "/" + c.spoilt.file;
    std::string bytes = test_support::read_file(spoilt);
    if (c.spoilt.cut > 0) bytes.resize(c.spoilt.cut);
    else bytes.replace(bytes.find(c.spoilt.from), c.spoilt.from.size(), c.spoilt.to);
    test_support::write_file(spoilt, bytes);
  }
  disc_table table;
  std::string message;
  const int result = read_image(path, table, message);
  if (!c.message.empty()) {
    std::string expected = c.message;
    for (std::size_t at; (at = expected.find("<folder>")) != std::string::npos;)
      expected.replace(at, 8, folder);
    EXPECT_EQ(message, expected);
    EXPECT_EQ(result, 0);
    return;
  }
  ASSERT_EQ(result, 1) << message;
  ASSERT_EQ(table.tracks.size(), c.spec.audio.size() + 1);
  EXPECT_TRUE(same_audio(user_data(table).substr(0, c.spec.data.size()), c.spec.data));
  EXPECT_TRUE(same_audio(pcm(table), expected_pcm(c.spec)));
}

INSTANTIATE_TEST_SUITE_P(disc_readers, reader_test, testing::ValuesIn(reader_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same images through Debian's readers, where they are installed.
bool installed(const std::string& program) {
  return test_support::run_program({"/bin/sh", "-c", "command -v " + program}).exit_status == 0;
}

TEST(disc_readers, cdrdao_plays_the_toc_as_the_table_says) {
  if (!installed("cdrdao")) GTEST_SKIP() << "cdrdao is not installed";
  const std::string folder = test_support::make_temp_dir();
  const disc_spec spec{ruvo_test::valid_image(), 2, {{150, 300}, {75, 300}}, 2352};
  const std::string toc = write_toc(folder, spec);
  // show-data prints the disc's samples one a line, "index: left right".
  const auto shown = test_support::run_program({"/bin/sh", "-c",
                                                "cdrdao show-data --force \"$0\" 2>/dev/null", toc});
  std::istringstream lines(shown.out);
  std::string samples;
  for (std::string line; std::getline(lines, line);) {
    int left = 0, right = 0;
    if (std::sscanf(line.c_str(), "%*d:%d %d", &left, &right) != 2) continue;
    for (const int sample : {left, right}) {
      samples += static_cast<char>(sample & 0xFF);
      samples += static_cast<char>((sample >> 8) & 0xFF);
    }
  }
  // The audio after the data track and track 2's pregap; track 3's pregap too.
  const std::size_t sector = raw_sector::size;
  ASSERT_EQ(samples.size(), (2 + 150 + 300 + 75 + 300) * sector);
  const std::string played = samples.substr((2 + 150) * sector, 300 * sector) +
                             samples.substr((2 + 150 + 300 + 75) * sector);
  disc_table table;
  std::string message;
  ASSERT_EQ(read_image(toc, table, message), 1) << message;
  EXPECT_TRUE(same_audio(pcm(table), played));
  EXPECT_TRUE(same_audio(played, expected_pcm(spec)));
}

TEST(disc_readers, libcdio_reads_the_nrg_sectors_the_table_points_to) {
  if (!installed("cd-read")) GTEST_SKIP() << "libcdio-utils is not installed";
  const std::string folder = test_support::make_temp_dir();
  const disc_spec spec = disc();
  const std::string nrg = write_nrg(folder, spec, 2);
  disc_table table;
  std::string message;
  ASSERT_EQ(read_image(nrg, table, message), 1) << message;
  // Track 2's INDEX 01 at LBA 152, track 3 at 155: five sectors of audio.
  const auto read = test_support::run_program(
      {"/bin/sh", "-c", "cd-read --no-header -N \"$0\" -m audio -s 152 -n 5 --no-hexdump -o \"$0.pcm\"",
       nrg});
  ASSERT_EQ(read.exit_status, 0) << read.err;
  EXPECT_TRUE(same_audio(test_support::read_file(nrg + ".pcm"), pcm(table).substr(0, 5 * raw_sector::size)));
}

}  // namespace
