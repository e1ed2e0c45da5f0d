// CD audio and the break. A fake drive, preloaded into ruvo, accepts the play
// request so that -m really spins; FIFOs stand in for a drive that blocks in
// open or in read. An image's audio goes to SDL's disk output, a file that
// grows in real time as a sound card would play.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ruvo_test.h"

namespace {

using namespace ruvo_test;
using test_support::finish_program;
using test_support::start_program;
using test_support::wait_for_output;

const std::string prompt = "Press Control-C to break play.\n";

// The output is `lead`, then at least that many spinner frames (backslash,
// "|", "/", "-" over and over, each followed by a carriage return), then the
// break message.
testing::AssertionResult spins_until_break(const std::string& out, const std::string& lead,
                                           std::size_t at_least) {
  static constexpr char cycle[] = {'\\', '|', '/', '-'};
  const auto failure = [&out] {
    return testing::AssertionFailure() << "output: " << testing::PrintToString(out);
  };
  if (out.size() < lead.size() + break_message.size() || out.compare(0, lead.size(), lead) != 0 ||
      out.compare(out.size() - break_message.size(), break_message.size(), break_message) != 0)
    return failure();
  const std::string frames =
      out.substr(lead.size(), out.size() - lead.size() - break_message.size());
  if (frames.size() % 2 != 0 || frames.size() / 2 < at_least) return failure();
  for (std::size_t i = 0; i < frames.size() / 2; ++i)
    if (frames[2 * i] != cycle[i % 4] || frames[2 * i + 1] != '\r') return failure();
  return testing::AssertionSuccess();
}

std::string signal_name(const testing::TestParamInfo<int>& info) {
  return info.param == SIGINT ? "Interrupt" : "Terminate";
}

class spinner_break : public testing::TestWithParam<int> {};

// The break message lands after the last frame's carriage return, over the
// spinner's line; the drive was asked to play tracks 2 to 12 and then stopped.
TEST_P(spinner_break, stops_the_drive_and_exits_with_one) {
  const fake_drive drive = make_fake_drive();
  auto child = start_program({RUVO_PATH, "-m", "-d", image_file(valid_image())}, drive.options);
  const std::string lead = banner + valid_announcement + prompt;
  ASSERT_TRUE(wait_for_output(child, lead + "\\\r")) << testing::PrintToString(child.result.out);
  kill(child.pid, GetParam());
  const auto result = finish_program(child);

  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(spins_until_break(result.out, lead, 1));
  EXPECT_EQ(requests(drive), "play 2/1/12/99\nstop\n");
}

INSTANTIATE_TEST_SUITE_P(ruvo, spinner_break, testing::Values(SIGINT, SIGTERM), signal_name);

TEST(spinner, fifth_frame_is_a_backslash_again) {
  const fake_drive drive = make_fake_drive();
  auto child = start_program({RUVO_PATH, "-d", image_file(valid_image()), "-m"}, drive.options);
  const std::string lead = banner + valid_announcement + prompt;
  ASSERT_TRUE(wait_for_output(child, lead + "\\\r|\r/\r-\r\\\r"));
  kill(child.pid, SIGINT);
  const auto result = finish_program(child);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(spins_until_break(result.out, lead, 5));
}

TEST(spinner, no_play_request_without_music_or_with_listing) {
  const fake_drive drive = make_fake_drive();
  const std::string disc = image_file(valid_image());
  EXPECT_EQ(test_support::run_program({RUVO_PATH, "-d", disc}, drive.options).exit_status, 1);
  EXPECT_EQ(test_support::run_program({RUVO_PATH, "-d", disc, "-im"}, drive.options).exit_status,
            1);
  EXPECT_EQ(requests(drive), "");
}

// A FIFO without a writer blocks in open; SIGTERM there must end the run like
// SIGINT does in the bad-input table.
TEST(break_while_opening, terminate_gives_the_break_sequence) {
  const fake_drive drive = make_fake_drive();
  auto child = start_program({RUVO_PATH, "-d", make_fifo()}, drive.options);
  ASSERT_TRUE(blocked_in(child.pid, SYS_openat));
  kill(child.pid, SIGTERM);
  const auto result = finish_program(child);
  EXPECT_EQ(result.out, banner + break_message);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(requests(drive), "");
}

class break_while_reading : public testing::TestWithParam<std::size_t> {};

// With a writer that has sent nothing (the first read waits) or only the
// header (the second read waits), the break must not become a failed read.
TEST_P(break_while_reading, gives_the_break_sequence) {
  const fake_drive drive = make_fake_drive();
  const std::string fifo = make_fifo();
  auto child = start_program({RUVO_PATH, "-i", "-d", fifo}, drive.options);
  ASSERT_TRUE(blocked_in(child.pid, SYS_openat));
  const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  const std::string sent = valid_image().substr(0, GetParam());
  ASSERT_EQ(write(writer, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
  ASSERT_TRUE(blocked_in(child.pid, SYS_read));
  kill(child.pid, SIGINT);
  const auto result = finish_program(child);
  close(writer);
  EXPECT_EQ(result.out, banner + break_message);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(requests(drive), "stop\n");
}

INSTANTIATE_TEST_SUITE_P(ruvo, break_while_reading, testing::Values(0, 256),
                         [](const auto& info) { return "After" + std::to_string(info.param); });

// A CUE image: the data track, then audio tracks 2 and 3, each in a file of
// its own; track 2 opens with a two-sector pregap that is not played.
struct cue_image {
  std::string dir;
  std::string sheet;
  std::string played;  // what the sound output must get, in order
  std::string output;  // where SDL's disk output writes it
  test_support::run_options sound;
};

constexpr std::size_t cd_sector = 2352;

// No zero byte, so that the silence around it is told apart.
std::string pcm(std::size_t sectors, int seed) {
  std::string bytes(sectors * cd_sector, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(1 + (i * 7 + static_cast<std::size_t>(seed)) % 251);
  return bytes;
}

cue_image make_cue_image(std::size_t sectors_a_track, bool with_audio = true) {
  const std::string dir = test_support::make_temp_dir();
  cue_image image;
  image.dir = dir;
  image.sheet = dir + "/disc.cue";
  image.output = dir + "/played.raw";
  image.sound.env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + image.output};
  std::string data = valid_image();
  data.resize(2 * 2048);
  test_support::write_file(dir + "/data.bin", data);
  std::string sheet = "FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n";
  if (with_audio) {
    const std::string track2 = pcm(sectors_a_track, 2), track3 = pcm(sectors_a_track, 3);
    test_support::write_file(dir + "/track02.bin", std::string(2 * cd_sector, '\xEE') + track2);
    test_support::write_file(dir + "/track03.bin", track3);
    sheet +=
        "FILE \"track02.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
        "    INDEX 01 00:00:02\n"
        "FILE \"track03.bin\" BINARY\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n";
    image.played = track2 + track3;
  }
  test_support::write_file(image.sheet, sheet);
  return image;
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The output is silence (SDL plays it while the output opens, paused), then
// `expected` from its start, whole or cut short; after a whole one, silence
// again (the spinner goes on after the last track).
testing::AssertionResult played(const std::string& output, const std::string& expected,
                                bool whole) {
  const auto sound = output.find_first_not_of('\0');
  const auto lead = expected.find_first_not_of('\0');
  if (sound == std::string::npos || sound < lead)
    return testing::AssertionFailure() << "no sound in " << output.size() << " bytes";
  const std::string heard = output.substr(sound - lead);
  if (whole && heard.size() >= expected.size() && heard.starts_with(expected) &&
      heard.find_first_not_of('\0', expected.size()) == std::string::npos)
    return testing::AssertionSuccess();
  if (!whole && heard.size() < expected.size() && expected.starts_with(heard))
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << heard.size() << " bytes heard of " << expected.size();
}

// Waits until the output holds all of `expected`; SDL's disk output writes at
// the pace of a sound card.
bool played_in_full(const std::string& output, const std::string& expected) {
  for (int tries = 0; tries < 100; ++tries) {
    if (played(read_file(output), expected, true)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

const std::string image_lead = banner + valid_announcement + prompt;

// Track 2 from INDEX 01 and track 3, in order, about a fifth of a second; the
// spinner goes on after them until the break.
TEST(image_audio, plays_from_track_two_index_one_to_the_end) {
  if (!RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  const cue_image image = make_cue_image(8);
  auto child = start_program({RUVO_PATH, "-m", "-d", image.sheet}, image.sound);
  ASSERT_TRUE(wait_for_output(child, image_lead + "\\\r|\r/\r"))
      << testing::PrintToString(child.result.out) << child.result.err;
  EXPECT_TRUE(played_in_full(image.output, image.played));
  kill(child.pid, SIGINT);
  const auto result = finish_program(child);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(spins_until_break(result.out, image_lead, 3));
  EXPECT_TRUE(played(read_file(image.output), image.played, true));
}

// The bundled sample's one-second tone, from track 2's INDEX 01 (read off the
// sheet) to the end of the raw image.
TEST(image_audio, bundled_sample_plays_its_tone) {
  if (!RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  const std::string sheet = read_file(SAMPLE_CUE_PATH);
  int minutes = 0, seconds = 0, frames = 0;
  ASSERT_EQ(std::sscanf(sheet.c_str() + sheet.find("INDEX 01", sheet.find("TRACK 02")),
                        "INDEX 01 %d:%d:%d", &minutes, &seconds, &frames),
            3);
  const auto index01 = static_cast<std::size_t>((minutes * 60 + seconds) * 75 + frames) * cd_sector;
  const std::string tone = read_file(SAMPLE_RAW_PATH).substr(index01);
  test_support::run_options sound;
  const std::string output = test_support::make_temp_dir() + "/played.raw";
  sound.env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + output};
  auto child = start_program({RUVO_PATH, "-m", "-d", SAMPLE_CUE_PATH}, sound);
  EXPECT_TRUE(played_in_full(output, tone));
  kill(child.pid, SIGTERM);
  const auto result = finish_program(child);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(spins_until_break(
      result.out,
      banner + "Playing game \"RUVO SAMPLE DISC\".\nNo CPU emulation has began.\n" + prompt, 1));
}

// Tracks of a second and more each, broken half a second in: the output
// stops before the message, and is a true beginning of the tracks.
TEST_P(spinner_break, silences_an_image_before_the_message) {
  if (!RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  const cue_image image = make_cue_image(80);
  auto child = start_program({RUVO_PATH, "-m", "-d", image.sheet}, image.sound);
  ASSERT_TRUE(wait_for_output(child, image_lead + "\\\r")) << child.result.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(child.pid, GetParam());
  ASSERT_TRUE(wait_for_output(child, break_message));
  const std::string at_the_message = read_file(image.output);
  const auto result = finish_program(child);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(spins_until_break(result.out, image_lead, 1));
  EXPECT_EQ(read_file(image.output), at_the_message);
  EXPECT_TRUE(played(at_the_message, image.played, false));
}

struct refusal {
  const char* name;
  bool with_audio;
  const char* removed;             // a file of the image taken away, or ""
  std::vector<std::string> sound;  // replaces SDL's disk output
  std::string err;                 // "<dir>" stands for the image's folder
};

// Names the case in test listings.
void PrintTo(const refusal& c, std::ostream* os) { *os << c.name; }

const std::string cannot_play = "Sorry, CD Music cannot be played: ";
const std::string built_without = cannot_play + "this ruvo was built without sound output.\n";
const std::string no_output = RUVO_AUDIO ? cannot_play + "no sound output (" : built_without;
const std::string no_audio_tracks =
    cannot_play + "<dir>/disc.cue has no audio tracks after track 1.\n";

// Each ends like a refused play request: one message, exit status 1.
const refusal refusals[] = {
    {"DataOnlyDisc", false, "", {}, no_audio_tracks},
    {"MissingTrackFile",
     true,
     "track03.bin",
     {},
     RUVO_AUDIO ? cannot_play + "<dir>/track03.bin cannot be read.\n" : built_without},
    // A machine without a sound card: libasound finds no default device, and
    // its own complaints stay off standard error.
    {"NoSoundCard", true, "", {"SDL_AUDIODRIVER=alsa", "ALSA_CONFIG_PATH=/dev/null"}, no_output},
    {"NoSuchSoundDriver", true, "", {"SDL_AUDIODRIVER=no-such-driver"}, no_output},
};

class image_audio_refused : public testing::TestWithParam<refusal> {};

TEST_P(image_audio_refused, like_a_refused_play_request) {
  const refusal& c = GetParam();
  cue_image image = make_cue_image(1, c.with_audio);
  if (*c.removed != '\0') unlink((image.dir + "/" + c.removed).c_str());
  for (const std::string& setting : c.sound)  // in place of the disk output's
    std::erase_if(image.sound.env, [&setting](const std::string& e) {
      return e.substr(0, e.find('=')) == setting.substr(0, setting.find('='));
    });
  image.sound.env.insert(image.sound.env.end(), c.sound.begin(), c.sound.end());
  const auto result = test_support::run_program({RUVO_PATH, "-m", "-d", image.sheet}, image.sound);
  EXPECT_EQ(result.out, banner + valid_announcement);
  std::string err = c.err;
  if (const auto at = err.find("<dir>"); at != std::string::npos) err.replace(at, 5, image.dir);
  if (err.ends_with("("))  // SDL's reason follows
    EXPECT_TRUE(result.err.starts_with(err) && result.err.ends_with(").\n") &&
                result.err.find('\n') == result.err.size() - 1)
        << result.err;
  else
    EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(read_file(image.output), "");
}

INSTANTIATE_TEST_SUITE_P(ruvo, image_audio_refused, testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
