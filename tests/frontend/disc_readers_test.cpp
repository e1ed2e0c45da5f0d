// The disc-image formats through the binary: images made at test time by one
// writer per format, listed, announced and played (-m, through SDL's disk
// output, to the exact CD audio of every track after the data track), or
// refused with a message that names the file and the entry. Where Debian's
// own readers are installed, they read the same images.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image_writers.h"
#include "playing.h"
#include "raw_sector.h"
#include "run_program.h"
#include "ruvo_test.h"

namespace {

using namespace image_writers;
using namespace ruvo_test;

disc_spec disc(std::uint32_t sector_size = 2352) {
  return {valid_image(), 2, {{150, 3}, {0, 2}, {40, 1}}, sector_size};
}

using writer = std::string (*)(const std::string& folder, const disc_spec& disc);
std::string nrg_v1(const std::string& f, const disc_spec& d) { return write_nrg(f, d, 1); }
std::string nrg_v2(const std::string& f, const disc_spec& d) { return write_nrg(f, d, 2); }
// The image as the first disc of a set.
std::string toc_in_a_playlist(const std::string& f, const disc_spec& d) {
  test_support::write_file(f + "/set.m3u",
                           "#EXTM3U\n" + write_toc(f, d).substr(f.size() + 1) + "\n");
  return f + "/set.m3u";
}

// What spoils a written image: the first `from` in one of its files becomes
// `to`, or the file is cut to `cut` bytes.
struct spoil {
  std::string file;
  std::string from, to;
  std::size_t cut = 0;
};

struct image_case {
  const char* name;
  disc_spec spec;
  writer write;
  spoil spoilt;
  std::string err;  // empty: lists and plays; else the listing's message, <folder> the folder
  // What -m plays, when the spoilt descriptor changes it.
  std::string (*heard)(const disc_spec&) = expected_pcm;
};
const std::string nul(5, '\0');
const image_case image_cases[] = {
    {"Cue", disc(), write_cue, {}, ""},
    {"CueCooked", disc(2048), write_cue, {}, ""},
    {"Ccd", disc(), write_ccd, {}, ""},
    {"Toc", disc(), write_toc, {}, ""},
    {"TocCooked", disc(2048), write_toc, {}, ""},
    {"TocWithSubchannel", disc(2448), write_toc, {}, ""},
    {"TocInAPlaylist", disc(), toc_in_a_playlist, {}, ""},
    // SILENCE after START is part of track 2; cdrdao pads its 100 samples to
    // a whole sector.
    {"TocSilenceInATrack",
     disc(),
     write_toc,
     {"disc.toc", "START 0:2:0\n", "START 0:2:0\nSILENCE 100\n"},
     "",
     [](const disc_spec& d) {
       return expected_pcm(d).insert(3 * raw_sector::size, std::string(raw_sector::size, '\0'));
     }},
    {"Mds", disc(), write_mds, {}, ""},
    {"MdsCooked", disc(2048), write_mds, {}, ""},
    {"MdsWithSubchannel", disc(2448), write_mds, {}, ""},
    {"MdsWithoutAudio", {valid_image(), 2, {}, 2352}, write_mds, {}, ""},
    {"NrgVersion1", disc(), nrg_v1, {}, ""},
    {"NrgVersion2", disc(), nrg_v2, {}, ""},
    {"NrgCooked", disc(2048), nrg_v2, {}, ""},
    {"NrgWithSubchannel", disc(2448), nrg_v1, {}, ""},
    {"CcdScrambled",
     disc(),
     write_ccd,
     {"disc.ccd", "Scrambled=0", "Scrambled=1"},
     "<folder>/disc.ccd: [Disc]: DataTracksScrambled=1: the data sectors are stored scrambled; "
     "ruvo reads images of unscrambled sectors\n"},
    {"CcdTracksOutOfOrder",
     disc(),
     write_ccd,
     {"disc.ccd", "PLBA=155\r", "PLBA=100\r"},
     "<folder>/disc.ccd: [Entry 5]: track 03 at LBA 100 does not follow track 02 at LBA 152\n"},
    {"CcdImageCutShort",
     disc(),
     write_ccd,
     {"disc.img", "", "", 3 * 2352},
     "<folder>/disc.ccd: [Entry 4]: track 02 lies beyond the end of <folder>/disc.img (7056 "
     "bytes)\n"},
    {"TocUnclosedCdText",
     disc(),
     write_toc,
     {"disc.toc", "\" } }", "\" }"},
     "<folder>/disc.toc: line 3: the CD_TEXT block is not closed\n"},
    {"TocStartPastTheEnd",
     disc(),
     write_toc,
     {"disc.toc", "START 0:2:0", "START 0:2:3"},
     "<folder>/disc.toc: line 7: track 02: START lies at or after its end\n"},
    {"TocNamesAMissingFile",
     disc(),
     write_toc,
     {"disc.toc", "DATAFILE \"disc.bin\"", "DATAFILE \"gone.bin\""},
     "<folder>/disc.toc: line 6: cannot open <folder>/gone.bin: No such file or directory\n"},
    {"TocAudioFirst",
     disc(),
     write_toc,
     {"disc.toc", "TRACK MODE1_RAW", "TRACK AUDIO"},
     "<folder>/disc.toc: line 5: track 01 is an audio track; the first track must hold the data\n"},
    {"MdsVersion2",
     disc(),
     write_mds,
     {"disc.mds", "DESCRIPTOR\x01", "DESCRIPTOR\x02"},
     "<folder>/disc.mds: an MDS file of version 2.5; ruvo reads version 1\n"},
    {"MdsCutShort",
     disc(),
     write_mds,
     {"disc.mds", "", "", 300},
     "<folder>/disc.mds: session 1, block 3: the track block lies beyond the end of the file\n"},
    // Track 1's end, 152 sectors in, put far past the sectors.
    {"NrgTrackPastItsSectors",
     disc(),
     nrg_v2,
     {"disc.nrg", nul + "\x05\x74\x80", "\x7F" + nul.substr(1) + "\x05\x74\x80"},
     "<folder>/disc.nrg: DAOX record 1: track 01: its bytes 0 to 9151314442817205376 do not lie "
     "within the 818496 bytes of sectors\n"},
    {"NrgWithoutEnd",
     disc(),
     nrg_v1,
     {"disc.nrg", "END!", "ENDE"},
     "<folder>/disc.nrg: the chunk list ends at byte 818754 without an END! chunk\n"},
};

class disc_image : public testing::TestWithParam<image_case> {};

TEST_P(disc_image, lists_and_plays_or_says_why_not) {
  const image_case& c = GetParam();
  const std::string folder = test_support::make_temp_dir();
  const std::string path = c.write(folder, c.spec);
  if (!c.spoilt.file.empty()) {
    const std::string spoilt = folder + "/" + c.spoilt.file;
    std::string bytes = test_support::read_file(spoilt);
    if (c.spoilt.cut > 0)
      bytes.resize(c.spoilt.cut);
    else
      bytes.replace(bytes.find(c.spoilt.from), c.spoilt.from.size(), c.spoilt.to);
    test_support::write_file(spoilt, bytes);
  }
  const auto listed = run_ruvo({"-i", "-d", path});
  EXPECT_EQ(listed.out, banner + (c.err.empty() ? valid_listing : ""));
  EXPECT_EQ(listed.err, fill(c.err, {{"<folder>", folder}}));
  EXPECT_EQ(listed.exit_status, c.err.empty() ? 1 : 0);
  if (!c.err.empty()) return;

  const audio_image image{folder, path, "TEST GAME", c.heard(c.spec)};
  if (image.played.empty()) {
    const auto refused = run_ruvo({"-m", "-d", path});
    EXPECT_EQ(refused.out, banner + valid_announcement);
    EXPECT_EQ(refused.err, "Sorry, CD Music cannot be played: " + path +
                               " has no audio tracks after track 1.\n");
    EXPECT_EQ(refused.exit_status, 1);
    return;
  }
  if (!RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  const std::string heard = play_until_break(
      image, "\\\r", SIGINT,
      [&image](const std::string& out) { return played(out, image.played, true); });
  EXPECT_TRUE(played(heard, image.played, true));
}

INSTANTIATE_TEST_SUITE_P(ruvo, disc_image, testing::ValuesIn(image_cases), row_name);

// The writers' images through Debian's readers, where they are installed: they
// hold the audio that the table above has ruvo play.
bool installed(const std::string& program) {
  return test_support::run_program({"/bin/sh", "-c", "command -v " + program}).exit_status == 0;
}

// cdrdao's own reading of a TOC file of every statement that makes up an
// audio track, the writer's tracks first: ruvo plays what show-data prints
// from each track's START to its end.
TEST(disc_writers, ruvo_plays_a_toc_as_cdrdao_does) {
  if (!installed("cdrdao")) GTEST_SKIP() << "cdrdao is not installed";
  if (!RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  const std::string folder = test_support::make_temp_dir();
  const std::string toc = write_toc(folder, disc());
  test_support::write_file(
      toc, test_support::read_file(toc) +
               "TRACK AUDIO\nSILENCE 100\nFILE \"disc.bin\" SWAP #10 0 1000\n"
               "TRACK AUDIO\nPREGAP 0:0:5\nFILE \"disc.bin\" #6000 9 0:0:3\n"
               "SILENCE 588\nTRACK AUDIO\nZERO 2352\nDATAFILE \"disc.bin\" #8 4704\n"
               "TRACK AUDIO RW_RAW\nDATAFILE \"disc.bin\" #3 0:0:2\n");
  const auto run = [&toc](const char* command) {
    return test_support::run_program(
               {"/bin/sh", "-c", std::string("cdrdao ") + command + " \"$0\" 2>/dev/null", toc})
        .out;
  };
  // show-data prints the disc's samples one a line, "index: left right";
  // show-toc each track's START and END, "START  mm:ss:ff(   lba)".
  std::istringstream lines(run("show-data --force"));
  std::string samples;
  for (std::string line; std::getline(lines, line);) {
    int left = 0, right = 0;
    if (std::sscanf(line.c_str(), "%*d:%d %d", &left, &right) != 2) continue;
    for (const int sample : {left, right}) {
      samples += static_cast<char>(sample & 0xFF);
      samples += static_cast<char>((sample >> 8) & 0xFF);
    }
  }
  std::istringstream tracks(run("show-toc"));
  std::string audio;
  std::size_t start = 0, track = 0;
  for (std::string line; std::getline(tracks, line);) {
    const auto paren = line.find('(');
    const std::size_t lba =
        paren == std::string::npos ? 0 : std::strtoul(line.c_str() + paren + 1, nullptr, 10);
    if (line.starts_with("TRACK")) ++track;
    if (track > 1 && line.find(" START ") != std::string::npos) start = lba;
    if (track > 1 && line.find(" END") != std::string::npos)
      audio += samples.substr(start * raw_sector::size, (lba - start) * raw_sector::size);
  }
  ASSERT_EQ(track, 8u);
  const audio_image image{folder, toc, "TEST GAME", audio};
  const std::string heard = play_until_break(
      image, "\\\r", SIGINT,
      [&image](const std::string& out) { return played(out, image.played, true); });
  EXPECT_TRUE(played(heard, image.played, true));
}

TEST(disc_writers, libcdio_reads_the_nrg_audio_as_ruvo_must) {
  if (!installed("cd-read")) GTEST_SKIP() << "libcdio-utils is not installed";
  const std::string folder = test_support::make_temp_dir();
  const disc_spec spec = disc();
  const std::string nrg = write_nrg(folder, spec, 2);
  // Track 2's INDEX 01 at LBA 152, track 3 at 155: five sectors of audio.
  const auto read = test_support::run_program(
      {"/bin/sh", "-c",
       "cd-read --no-header -N \"$0\" -m audio -s 152 -n 5 --no-hexdump -o \"$0.pcm\"", nrg});
  ASSERT_EQ(read.exit_status, 0) << read.err;
  EXPECT_EQ(test_support::read_file(nrg + ".pcm"),
            expected_pcm(spec).substr(0, 5 * raw_sector::size));
}

}  // namespace
