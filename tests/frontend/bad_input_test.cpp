// Whatever -d names, ruvo ends with a clear message and a defined exit status:
// it does not crash, hang or read past its buffers, and sends the drive nothing.
// Raw images and CUE sheets as users keep them are here too, with the ones
// that must read like the plain image.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "raw_sector.h"
#include "ruvo_test.h"

namespace {

using namespace ruvo_test;
using namespace std::string_literals;

const std::string read_failed = "Can not read the CD header!\n";

std::string path_of_4096_characters() {
  std::string path = "/nonexistent";
  while (path.size() < 4096) path += "/" + std::string(99, 'x');
  path.resize(4096);
  return path;
}

struct bad_input {
  const char* name;
  std::string path;   // "<dir>", "<image>" or "<fifo>" for a fresh one, else the path itself
  std::string bytes;  // the image, or what the FIFO's writer sends before it closes
  bool interrupt;     // no writer comes to the FIFO: SIGINT while ruvo waits in open
  std::string out;    // after the banner
  std::string err;
  int status;
};

const bad_input bad_inputs[] = {
    {"Directory", "<dir>", "", false, "", read_failed, 0},
    {"FifoThatSends100BytesAndCloses", "<fifo>", valid_image().substr(0, 100), false, "",
     read_failed, 0},
    {"FifoWithoutWriterAndABreak", "<fifo>", "", true, break_message, "", 1},
    // Reads of every length succeed, with zeros.
    {"DevZero", "/dev/zero", "", false, "", invalid_header, 0},
    // Longer than the system takes: the message is whole.
    {"PathOf4096Characters", path_of_4096_characters(), "", false, "",
     "CD Device " + path_of_4096_characters() + " cannot be opened!\n", 0},
    {"EveryByteFF", "<image>", std::string(area_size, '\xFF'), false, "", invalid_header, 0},
    {"EveryByteASpace", "<image>", std::string(area_size, ' '), false, "", invalid_header, 0},
};

// Opens the FIFO for writing as soon as ruvo has it open for reading, sends
// the bytes and closes it.
testing::AssertionResult send_and_close(const std::string& fifo, const std::string& bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int writer;
  while ((writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
    if (errno != ENXIO || std::chrono::steady_clock::now() > deadline)
      return testing::AssertionFailure() << "no reader opened the FIFO";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool sent = write(writer, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(writer);
  return sent ? testing::AssertionSuccess() : testing::AssertionFailure() << "short write";
}

class ruvo_bad_input : public testing::TestWithParam<bad_input> {};

TEST_P(ruvo_bad_input, message_and_exit_status) {
  const bad_input& c = GetParam();
  const fake_drive drive = make_fake_drive();
  const std::string path = fill(c.path, {{"<dir>", test_support::make_temp_dir()},
                                         {"<image>", image_file(c.bytes)},
                                         {"<fifo>", make_fifo()}});

  auto child = test_support::start_program({RUVO_PATH, "-i", "-d", path}, drive.options);
  if (c.interrupt) {
    EXPECT_TRUE(blocked_in(child.pid, SYS_openat));
    kill(child.pid, SIGINT);
  } else if (c.path == "<fifo>") {
    EXPECT_TRUE(send_and_close(path, c.bytes));
  }
  const auto result = test_support::finish_program(child);

  EXPECT_EQ(result.out, banner + c.out);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(requests(drive), "");
}

INSTANTIATE_TEST_SUITE_P(ruvo, ruvo_bad_input, testing::ValuesIn(bad_inputs), row_name);

// A file made in a fresh folder before the run.
struct folder_entry {
  enum kind { file, directory, fifo, sheet_of_100_mb };
  std::string name;  // relative to the folder
  std::string bytes;
  kind is = file;
};
using entry = folder_entry;

struct image_input {
  const char* name;
  std::vector<folder_entry> files;  // -d names the first
  std::string err;        // "<folder>" stands for the folder; empty: the valid listing and status 1
  bool terminal = false;  // standard error is a terminal
};

std::string raw_with(std::size_t at, char byte, std::string image = raw_image(valid_image(), 1)) {
  image[at] = byte;
  return image;
}

// A sheet whose first track is `mode` in `file`.
std::string sheet(const std::string& mode, const std::string& file = "\"disc.bin\"") {
  return "FILE " + file + " BINARY\n  TRACK 01 " + mode + "\n    INDEX 01 00:00:00\n";
}

const std::string raw1 = raw_image(valid_image(), 1);

// The text in UTF-16 of either byte order, with its byte-order mark.
std::string utf16(std::u16string_view text, bool little_endian) {
  std::string bytes;
  for (const char16_t unit : u"\uFEFF" + std::u16string(text)) {
    const auto low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little_endian ? low : high;
    bytes += little_endian ? high : low;
  }
  return bytes;
}
const std::string raw2 = raw_image(valid_image(), 2);
const std::string raw_modes = "; ruvo reads the data of Mode 1 and Mode 2 form 1 sectors\n";
// U+009B, which introduces a control sequence, in UTF-8.
const std::string csi_name =
    "\xC2\x9B"
    "2J.iso";
const std::string not_regular = "disc.cue: line 1: <folder>/disc.bin is not a regular file\n";

const image_input image_inputs[] = {
    // Raw images: the user data of the first two sectors, or a short read.
    {"SyncFollowedByNothing", {{"disc.bin", raw1.substr(0, raw_sector::sync.size())}}, read_failed},
    {"RawImageOfOneSector", {{"disc.bin", raw_image(valid_image(), 1, 1)}}, read_failed},
    {"SecondSectorHoldsNoData",
     {{"disc.bin", raw_with(raw_sector::size + raw_sector::mode_offset, 0)}},
     read_failed},
    {"FirstSectorModeZero",
     {{"disc.bin", raw_with(raw_sector::mode_offset, 0)}},
     "<folder>/disc.bin: the first sector is a mode 0 sector, which holds no data\n"},
    {"FirstSectorMode2Form2",
     {{"disc.bin", raw_with(raw_sector::submode_offset, raw_sector::form2_bit, raw2)}},
     "<folder>/disc.bin: the first sector is a Mode 2 form 2 sector" + raw_modes},
    {"FirstSectorModeThree",
     {{"disc.bin", raw_with(raw_sector::mode_offset, 3)}},
     "<folder>/disc.bin: the first sector has the unknown mode 3\n"},
    {"RawMode1", {{"disc.bin", raw1}}, ""},
    {"RawMode2Form1", {{"disc.bin", raw2}}, ""},
    // CUE sheets that cannot be read.
    {"SheetEmpty", {{"disc.cue", ""}}, "<folder>/disc.cue: the CUE sheet is empty\n"},
    {"SheetNamedInCapitals", {{"DISC.CUE", ""}}, "<folder>/DISC.CUE: the CUE sheet is empty\n"},
    {"SheetIsADirectory",
     {{"disc.cue", "", entry::directory}},
     "<folder>/disc.cue: cannot read the CUE sheet: Is a directory\n"},
    {"SheetBinary",
     {{"disc.cue",
       "REM ripped\n\x7F"
       "ELF\x02\x01"}},
     "<folder>/disc.cue: line 2: binary data, not a CUE sheet\n"},
    {"Sheet100MB",
     {{"disc.cue", "REM\n", entry::sheet_of_100_mb}},
     "<folder>/disc.cue: more than 65536 bytes, too long for a CUE sheet\n"},
    {"SheetWithoutTrack",
     {{"disc.cue", "REM GENRE Game\nFILE \"disc.bin\" BINARY\n"}},
     "<folder>/disc.cue: no TRACK in the CUE sheet\n"},
    {"SheetNamesADirectory",
     {{"disc.cue", sheet("MODE1/2352")}, {"disc.bin", "", entry::directory}},
     "<folder>/" + not_regular},
    {"SheetNamesAFifo",
     {{"disc.cue", sheet("MODE1/2352")}, {"disc.bin", "", entry::fifo}},
     "<folder>/" + not_regular},
    {"SheetNamesItself",
     {{"disc.cue", sheet("MODE1/2048", "disc.cue")}},
     "<folder>/disc.cue: line 1: <folder>/disc.cue is the CUE sheet itself, not a track file\n"},
    {"SheetNamesAMissingFile",
     {{"disc.cue", sheet("MODE1/2352")}},
     "<folder>/disc.cue: line 1: cannot open <folder>/disc.bin: No such file or directory\n"},
    {"SheetWithAnUnclosedQuote",
     {{"disc.cue", sheet("MODE1/2352", "\"disc.bin")}, {"disc.bin", raw1}},
     "<folder>/disc.cue: line 1: unclosed quote\n"},
    {"SheetWithAudioFirst",
     {{"disc.cue", sheet("AUDIO")}, {"disc.bin", raw1}},
     "<folder>/disc.cue: line 2: track 01 is an audio track; the first track must hold the data\n"},
    {"SheetWithAnUnreadMode",
     {{"disc.cue", sheet("MODE2/2336")}, {"disc.bin", raw1}},
     "<folder>/disc.cue: line 2: track 01 is MODE2/2336; ruvo reads MODE1/2048, MODE1/2352 and "
     "MODE2/2352 data tracks\n"},
    {"SheetRawTrackWithoutSync",
     {{"disc.cue", sheet("MODE1/2352")}, {"disc.bin", valid_image()}},
     "<folder>/disc.cue: line 2: track 01 is MODE1/2352, but <folder>/disc.bin holds no raw "
     "sector where it begins\n"},
    {"SheetTrackBeforeFile",
     {{"disc.cue", "TRACK 01 MODE1/2352\n"}},
     "<folder>/disc.cue: line 1: TRACK before any FILE\n"},
    {"SheetIndexGoesBack",
     {{"disc.cue", sheet("MODE1/2352") + "TRACK 02 AUDIO\nINDEX 00 00:00:05\nINDEX 01 00:00:04\n"}},
     "<folder>/disc.cue: line 6: INDEX 01 lies before the index above it\n"},
    {"SheetWithTheDataInAWaveFile",
     {{"disc.cue", "REM\nFILE \"d.wav\" WAVE\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n"}},
     "<folder>/disc.cue: line 2: file type WAVE; ruvo reads the data track from a BINARY file\n"},
    // Playlists of multi-disc sets that cannot be read.
    {"PlaylistEmpty",
     {{"set.m3u", "#EXTM3U\n# no disc yet\n\n"}},
     "<folder>/set.m3u: the playlist names no disc image\n"},
    {"PlaylistNamesAMissingImage",
     {{"set.M3U", "\n disc1.cue \n"}},
     "<folder>/set.M3U: line 2: cannot open <folder>/disc1.cue: No such file or directory\n"},
    // A NUL would cut the name short, and an escape character would reach the
    // message; the sheet parser refuses the same bytes.
    {"PlaylistLineWithANul",
     {{"set.m3u", "# the set\ngame.iso"s + '\0' + "other.iso\n"}, {"game.iso", valid_image()}},
     "<folder>/set.m3u: line 2: binary data, not a playlist\n"},
    {"PlaylistLineWithEscapes",
     {{"set.m3u", "\x1B]0;PWNED\a\x1B[2J.iso\n"}},
     "<folder>/set.m3u: line 1: binary data, not a playlist\n",
     true},
    // Names from lists reach a terminal as the disc's text does, and a pipe as
    // they are; messages are whole whatever their length.
    {"SheetNameWithAC1ControlOnATerminal",
     {{"disc.cue", sheet("MODE1/2048", "\"" + csi_name + "\"")}},
     "<folder>/disc.cue: line 1: cannot open <folder>/\xC2\\x9B2J.iso: No such file or "
     "directory\n",
     true},
    {"SheetNameWithAC1ControlToAPipe",
     {{"disc.cue", sheet("MODE1/2048", "\"" + csi_name + "\"")}},
     "<folder>/disc.cue: line 1: cannot open <folder>/" + csi_name +
         ": No such file or directory\n"},
    {"SheetNameOf1400Bytes",
     {{"disc.cue", sheet("MODE1/2048", std::string(1400, 'n'))}},
     "<folder>/disc.cue: line 1: cannot open <folder>/" + std::string(1400, 'n') +
         ": File name too long\n"},
    {"PlaylistOfPlaylists",
     {{"set.m3u", "inner.m3u8\n"}, {"inner.m3u8", "disc.bin\n"}},
     "<folder>/set.m3u: line 1: <folder>/inner.m3u8 is a playlist too; ruvo reads the first disc "
     "image of one\n"},
    // CUE sheets as users have them: each reads like the plain image.
    {"SheetQuotedNameWithSpaces",
     {{"disc.cue", sheet("MODE1/2352", "\"my disc.bin\"")}, {"my disc.bin", raw1}},
     ""},
    {"SheetUnquotedNameWithSpaces",
     {{"disc.cue", sheet("MODE1/2352", "my  disc.bin")}, {"my  disc.bin", raw1}},
     ""},
    {"SheetInLowerCase",
     {{"disc.cue", "file disc.bin binary\n track 01 mode1/2352\n  index 01 00:00:00"},
      {"disc.bin", raw1}},
     ""},
    {"SheetWithCrLfAndByteOrderMark",
     {{"disc.cue",
       "\xEF\xBB\xBF"
       "FILE disc.bin BINARY\r\nTRACK 01 MODE1/2352\r\nINDEX 01 00:00:00\r\n"},
      {"disc.bin", raw1}},
     ""},
    {"SheetWithRemLines",
     {{"disc.cue", "REM GENRE Game\nREM COMMENT \"x\"\n" + sheet("MODE1/2352") + "  REM\n"},
      {"disc.bin", raw1}},
     ""},
    {"SheetPathWithSpaces",
     {{"my games/disc 1.cue", sheet("MODE1/2352", "\"disc 1.bin\"")},
      {"my games/disc 1.bin", raw1}},
     ""},
    {"SheetKnownByItsText", {{"disc.txt", sheet("MODE1/2352")}, {"disc.bin", raw1}}, ""},
    {"SheetOfMode2", {{"disc.cue", sheet("MODE2/2352")}, {"disc.bin", raw2}}, ""},
    {"SheetOf2048ByteSectors",
     {{"disc.cue", sheet("MODE1/2048")}, {"disc.bin", valid_image()}},
     ""},
    // The discs homebrew projects make: the data track in a BINARY file, the
    // audio tracks in audio files, which the listing does not need.
    {"SheetWithWaveAudioTracks",
     {{"game.cue",
       "FILE \"game.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
       "    POSTGAP 00:02:00\nFILE \"track1.wav\" WAVE\n  TRACK 02 AUDIO\n    PREGAP 00:02:00\n"
       "    INDEX 01 00:00:00\nFILE \"track2.mp3\" MP3\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"},
      {"game.iso", valid_image()}},
     ""},
    // Every command real sheets carry, and one that no tool has written yet.
    {"SheetWithEveryCommand",
     {{"disc.cue",
       "REM DATE 1996\nCATALOG 0000000000000\nCDTEXTFILE \"disc.cdt\"\nTITLE \"T\"\n"
       "PERFORMER \"P\"\nSONGWRITER \"S\"\nCOMPOSER \"C\"\nARRANGER \"A\"\nMESSAGE \"M\"\n"
       "DISC_ID XY12\nGENRE \"Game\"\nTOC_INFO1 \"1\"\nTOC_INFO2 \"2\"\nUPC_EAN 0000000000000\n"
       "SIZE_INFO \"0\"\nX_NEW_COMMAND 7\n"
       "FILE disc.bin BINARY\nTRACK 01 MODE1/2352\nFLAGS DCP\nISRC ABCDE1234567\nTITLE \"D\"\n"
       "INDEX 01 00:00:00\n"},
      {"disc.bin", raw1}},
     ""},
    {"SheetWithCrLineEnds",
     {{"disc.cue", "FILE disc.bin BINARY\rTRACK 01 MODE1/2352\rINDEX 01 00:00:00\r"},
      {"disc.bin", raw1}},
     ""},
    {"SheetInUtf16LittleEndian",
     {{"disc.cue",
       utf16(u"FILE \"d\u00EFsc.bin\" BINARY\r\nTRACK 01 MODE1/2352\r\nINDEX 01 00:00:00\r\n",
             true)},
      {"d\xC3\xAFsc.bin", raw1}},
     ""},
    {"SheetInUtf16BigEndian",
     {{"disc.txt",
       utf16(u"FILE \"d\u00EFsc.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n", false)},
      {"d\xC3\xAFsc.bin", raw1}},
     ""},
    {"SheetFromWindows",
     {{"disc.cue", sheet("MODE1/2352", "\"build\\disc.bin\"")}, {"build/disc.bin", raw1}},
     ""},
    {"SheetInAnotherCase",
     {{"disc.cue", sheet("MODE1/2352", "\"Build\\Disc.BIN\"")}, {"build/disc.bin", raw1}},
     ""},
    // A multi-disc set: the first disc is the one read.
    {"PlaylistOfTwoDiscs",
     {{"set.m3u",
       "\xEF\xBB\xBF#EXTM3U\r\n# the set\r\n\r\ndiscs\\Disc1.cue\r\ndiscs/disc2.cue\r\n"},
      {"discs/disc1.cue", sheet("MODE1/2352")},
      {"discs/disc.bin", raw1}},
     ""},
    {"PlaylistKnownByItsText",
     {{"set.txt", "#EXTM3U\ndisc.iso\n"}, {"disc.iso", valid_image()}},
     ""},
    {"SheetWhoseTrackBeginsLater",
     {{"disc.cue", "FILE disc.bin BINARY\nTRACK 02 MODE1/2352\nINDEX 01 00:00:02\n"},
      {"disc.bin", std::string(2 * raw_sector::size, 'x') + raw1}},
     ""},
};

int make_entry(const std::string& path, const folder_entry& e) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  switch (e.is) {
    case entry::directory:
      return mkdir(path.c_str(), 0700);
    case entry::fifo:
      return mkfifo(path.c_str(), 0600);
    case entry::sheet_of_100_mb:  // sparse: it takes no room on the disk
      test_support::write_file(path, e.bytes);
      return truncate(path.c_str(), 100 << 20);
    case entry::file:
      break;
  }
  test_support::write_file(path, e.bytes);
  return 0;
}

class ruvo_image_input : public testing::TestWithParam<image_input> {};

TEST_P(ruvo_image_input, message_and_exit_status) {
  const image_input& c = GetParam();
  const std::string folder = test_support::make_temp_dir();
  for (const auto& e : c.files) ASSERT_EQ(make_entry(folder + "/" + e.name, e), 0) << e.name;
  const fake_drive drive = make_fake_drive();

  test_support::run_options options = drive.options;
  options.error_terminal = c.terminal;
  const auto result =
      test_support::run_program({RUVO_PATH, "-i", "-d", folder + "/" + c.files[0].name}, options);

  EXPECT_EQ(result.out, banner + (c.err.empty() ? valid_listing : ""));
  EXPECT_EQ(result.err, fill(c.err, {{"<folder>", folder}}));
  EXPECT_EQ(result.exit_status, c.err.empty() ? 1 : 0);
  EXPECT_EQ(requests(drive), "");
}

INSTANTIATE_TEST_SUITE_P(ruvo, ruvo_image_input, testing::ValuesIn(image_inputs), row_name);

}  // namespace
