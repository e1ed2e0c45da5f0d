// CD audio and the break. A fake drive, preloaded into ruvo, accepts the play
// request so that -m really spins; FIFOs stand in for a drive that blocks in
// open or in read. An image's audio goes to SDL's disk output, a file that
// grows in real time as a sound card would play.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cue_sheet.h"
#include "disc_table.h"
#include "playing.h"
#include "raw_sector.h"
#include "ruvo_test.h"

#if RUVO_AUDIO_FILES
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#endif

namespace {

using namespace ruvo_test;
using test_support::finish_program;
using test_support::read_file;
using test_support::start_program;
using test_support::wait_for_output;

std::string signal_name(const testing::TestParamInfo<int>& info) {
  return info.param == SIGINT ? "Interrupt" : info.param == SIGTERM ? "Terminate" : "Hangup";
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

INSTANTIATE_TEST_SUITE_P(ruvo, spinner_break, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         signal_name);

// A drive that hangs on the stop request: a second break ends the process at
// once, with the status of a break.
TEST(break_while_stopping, second_break_ends_the_process_at_once) {
  fake_drive drive = make_fake_drive();
  drive.options.env.push_back("FAKE_CDROM_HANG_STOP=1");
  auto child = start_program({RUVO_PATH, "-m", "-d", image_file(valid_image())}, drive.options);
  ASSERT_TRUE(wait_for_output(child, "\\\r"));
  kill(child.pid, SIGINT);
  ASSERT_TRUE(blocked_in(child.pid, SYS_pause));
  kill(child.pid, SIGINT);
  const auto result = finish_program(child);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(spins_until_break(result.out, banner + valid_announcement + prompt, 1));
  EXPECT_EQ(requests(drive), "play 2/1/12/99\nstop\n");
}

// Started to outlive its terminal (nohup), ruvo leaves SIGHUP ignored.
TEST(spinner, hangup_ignored_at_start_is_no_break) {
  const fake_drive drive = make_fake_drive();
  auto child = start_program(
      {"/bin/sh", "-c", "trap '' HUP; exec env LD_PRELOAD=\"$RUVO_PRELOAD\" \"$0\" -m -d \"$1\"",
       RUVO_PATH, image_file(valid_image())},
      through_shell(drive));
  const std::string lead = banner + valid_announcement + prompt;
  ASSERT_TRUE(wait_for_output(child, lead + "\\\r"));
  kill(child.pid, SIGHUP);
  ASSERT_TRUE(wait_for_output(child, lead + "\\\r|\r/\r"));
  kill(child.pid, SIGINT);
  EXPECT_EQ(finish_program(child).exit_status, 1);
}

// With its reader gone the spinner's write fails: the drive is stopped, the
// failure reported, and the run counts as one that stopped early.
TEST(spinner, reader_that_leaves_stops_the_drive) {
  const fake_drive drive = make_fake_drive();
  auto child = start_program({RUVO_PATH, "-m", "-d", image_file(valid_image())}, drive.options);
  ASSERT_TRUE(wait_for_output(child, "\\\r"));
  close(child.out_fd);
  child.out_fd = -1;
  child.out_open = false;
  const auto result = finish_program(child);
  EXPECT_EQ(result.err, "Can not write to standard output: Broken pipe\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(requests(drive), "play 2/1/12/99\nstop\n");
}

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

class music_from_an_image : public testing::TestWithParam<const char*> {};

// Even a drive's answer (the fake one answers any descriptor) does not make an
// image a drive: the request is never sent.
TEST_P(music_from_an_image, is_refused_without_a_request) {
  const fake_drive drive = make_fake_drive();
  const auto result = test_support::run_program({RUVO_PATH, "-m", "-d", GetParam()}, drive.options);
  EXPECT_EQ(result.out,
            banner + "Playing game \"RUVO SAMPLE DISC\".\nNo CPU emulation has began.\n");
  EXPECT_EQ(result.err, "Sorry, CD Music cannot be played from the disc image " +
                            std::string(GetParam()) + ".\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(requests(drive), "");
}

// A CUE sheet's audio tracks ruvo plays itself (below).
INSTANTIATE_TEST_SUITE_P(ruvo, music_from_an_image, testing::Values(SAMPLE_RAW_PATH),
                         [](const auto&) { return std::string("RawImage"); });

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

// A CUE image: the data track, then audio tracks 2 and 3 in files of their
// own; track 2 opens with a two-sector pregap, which is not played.
constexpr std::size_t cd_sector = raw_sector::size;

audio_image make_cue_image(std::size_t sectors_a_track, bool with_audio = true) {
  audio_image image{test_support::make_temp_dir(), "", "TEST GAME", ""};
  image.disc = image.dir + "/disc.cue";
  std::string data = valid_image(),
              sheet = "FILE data.bin BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n";
  data.resize(2 * 2048);
  test_support::write_file(image.dir + "/data.bin", data);
  for (int track = 2; with_audio && track <= 3; ++track) {
    // No zero byte, so that the silence around the audio is told apart.
    std::string pcm(sectors_a_track * cd_sector, '\0');
    for (std::size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = static_cast<char>(1 + (i * 7 + track) % 251);
    const std::string name = "track0" + std::to_string(track);
    test_support::write_file(image.dir + "/" + name + ".bin",
                             (track == 2 ? std::string(2 * cd_sector, '\xEE') : "") + pcm);
    sheet += "FILE " + name + ".bin BINARY\nTRACK 0" + std::to_string(track) + " AUDIO\n" +
             (track == 2 ? "INDEX 00 00:00:00\nINDEX 01 00:00:02\n" : "INDEX 01 00:00:00\n");
    image.played += pcm;
  }
  test_support::write_file(image.disc, sheet);
  return image;
}

// The bundled sample's one-second tone: its raw image from track 2's INDEX 01,
// as the sheet gives it.
audio_image bundled_sample() {
  cue_sheet sheet;
  EXPECT_EQ(parse_cue_sheet(SAMPLE_CUE_PATH, read_file(SAMPLE_CUE_PATH), sheet), 1);
  return {
      test_support::make_temp_dir(), SAMPLE_CUE_PATH, "RUVO SAMPLE DISC",
      read_file(SAMPLE_RAW_PATH).substr(audio_pieces(cue_disc_table(sheet), 2).at(0).piece.offset)};
}

struct playing {
  const char* name;
  audio_image (*image)();
  bool whole;          // break once all is played, else half a second in
  std::string frames;  // the spinner frames to wait for before that
  int signal;
};

const playing playings[] = {
    // A fifth of a second; the spinner goes on after it.
    {"TwoTracksInFull", [] { return make_cue_image(8); }, true, "\\\r|\r/\r", SIGINT},
    {"BundledSample", bundled_sample, true, "\\\r", SIGTERM},
    {"BundledSampleFromItsTocFile",
     [] {
       audio_image image = bundled_sample();
       image.disc = SAMPLE_TOC_PATH;
       return image;
     },
     true, "\\\r", SIGINT},
    // Over a second a track: the output falls silent before the message.
    {"BreakInTrackTwo", [] { return make_cue_image(80); }, false, "\\\r", SIGINT},
};

class image_audio : public testing::TestWithParam<playing> {};

TEST_P(image_audio, plays_from_track_two_index_one_until_the_break) {
  if (!RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  const playing& c = GetParam();
  const audio_image image = c.image();
  const std::string heard = c.whole ? play_until_break(image, c.frames, c.signal,
                                                       [&image](const std::string& out) {
                                                         return played(out, image.played, true);
                                                       })
                                    : play_until_break(image, c.frames, c.signal, {});
  EXPECT_TRUE(played(heard, image.played, c.whole));
}

INSTANTIATE_TEST_SUITE_P(ruvo, image_audio, testing::ValuesIn(playings), row_name);

// A break while something hangs: the sound output (SDL's disk output into a
// FIFO that is never read, or that nobody opens), standard output (a pipe
// that is full), the drive's stop request. The run ends within a second, what
// it wrote in whole lines: with the break message and status 1 where that
// could be written, else by the signal. A second break ends it at once.
struct stuck {
  const char* name;
  bool sound;         // -m on a CUE image, else on a plain one with the fake drive
  bool fifo_read;     // the sound output's FIFO has a reader, which never reads
  bool hang_stop;     // the drive hangs on the stop request
  bool full_pipe;     // standard output is a pipe with no room after the announcement
  long blocked_call;  // what ruvo waits in before the break, 0: the spinner's second frame
  int breaks;
  bool spins;    // the output (in the pipe) goes on to the prompt and the spinner
  bool message;  // and ends with the message and status 1, else by SIGINT
};

const stuck stucks[] = {
    {"StalledSoundOutput", true, true, false, false, 0, 1, true, true},
    // The message waits for the stalled output to be given up.
    {"StalledSoundOutputTwice", true, true, false, false, 0, 2, true, false},
    {"SoundOutputThatNeverOpens", true, false, false, false, SYS_openat, 1, false, true},
    {"FullPipe", false, false, false, true, SYS_write, 1, false, false},
    {"FullPipeTwice", false, false, false, true, SYS_write, 2, false, false},
    {"DriveThatHangsOnStop", false, false, true, false, 0, 1, true, true},
};

class break_while_stuck : public testing::TestWithParam<stuck> {};

TEST_P(break_while_stuck, ends_within_a_second) {
  const stuck& c = GetParam();
  if (c.sound && !RUVO_AUDIO) GTEST_SKIP() << "built without sound output";
  fake_drive drive = make_fake_drive();
  std::string disc = image_file(valid_image());
  int sound_reader = -1;
  if (c.sound) {
    disc = make_cue_image(80).disc;
    const std::string fifo = make_fifo();
    drive.options.env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + fifo};
    if (c.fifo_read) sound_reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }
  if (c.hang_stop) drive.options.env.push_back("FAKE_CDROM_HANG_STOP=1");
  const std::string lead = banner + valid_announcement + (c.spins ? prompt : "");
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
  const std::string filler(
      static_cast<std::size_t>(fcntl(pipe_ends[1], F_GETPIPE_SZ)) - lead.size() - 10, '.');
  if (c.full_pipe) {
    ASSERT_EQ(write(pipe_ends[1], filler.data(), filler.size()), std::ssize(filler));
    drive.options.out_fd = pipe_ends[1];
  }
  auto child = start_program({RUVO_PATH, "-m", "-d", disc}, drive.options);
  close(pipe_ends[1]);
  if (c.blocked_call != 0) {
    ASSERT_TRUE(blocked_in(child.pid, c.blocked_call));
  } else {
    ASSERT_TRUE(wait_for_output(child, lead + "\\\r|\r"));
  }
  for (int sent = 0; sent < c.breaks; ++sent) {
    if (sent > 0) usleep(50000);
    kill(child.pid, SIGINT);
  }
  const auto result = finish_program(child, std::chrono::seconds(1));
  const std::string out =
      c.full_pipe ? read_file("/dev/fd/" + std::to_string(pipe_ends[0])).substr(filler.size())
                  : result.out;
  close(pipe_ends[0]);
  if (sound_reader >= 0) close(sound_reader);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(c.message ? result.exit_status : result.term_signal, c.message ? 1 : SIGINT);
  EXPECT_TRUE(spins_until_break(c.message ? out : out + break_message, lead, 0));
  if (!c.sound) {
    EXPECT_EQ(requests(drive), "play 2/1/12/99\nstop\n");
  }
}

INSTANTIATE_TEST_SUITE_P(ruvo, break_while_stuck, testing::ValuesIn(stucks), row_name);

#if RUVO_AUDIO_FILES
// The layout of homebrew discs: the data track in a BINARY file, and tracks 2
// and 3 in one audio file made with libsndfile. Track 2 follows a PREGAP
// that no file holds; track 3's pregap of two sectors lies in the file and is
// skipped, so the file is heard from sector 0 to 10 and from 12 on. In each
// channel a tone of its own, at the given amplitude (1 is full scale).
struct audio_file_case {
  const char* name;
  const char* type;  // as the FILE gives it
  int format;        // libsndfile's
  int rate;
  int channels;
  double amplitude;
  // What the left and right CD channels hold, from the file's channels at one
  // moment: the fold that README describes.
  std::array<double, 2> (*fold)(const std::vector<double>& channels);
  // Below it, in dB, the heard audio's SNR against the folded tones, clipped
  // at full scale, fails; 0: exactly the file's 16-bit samples must be heard.
  double snr;
  std::string err;  // a refusal, or the start of the message of a damaged file
};

constexpr std::size_t audio_sectors = 24, pregap_from = 10, pregap_to = 12;
constexpr std::size_t cd_samples_a_sector = raw_sector::audio_frames_a_sector;
// Past the whole sectors, so that the converted length must round right.
constexpr std::size_t odd_frames = 7;
constexpr int cd_rate = raw_sector::audio_rate;

// Each channel's level at the moment: 440 Hz, 660 Hz, ... of its own phase.
std::vector<double> tones(const audio_file_case& c, double seconds) {
  std::vector<double> levels;
  for (int channel = 0; channel < c.channels; ++channel)
    levels.push_back(c.amplitude *
                     std::sin(2 * M_PI * 220 * (channel + 2) * seconds + 1 + channel));
  return levels;
}

std::int16_t cd_sample(double level) {
  return static_cast<std::int16_t>(std::clamp(std::lround(level * 32768), -32768L, 32767L));
}

// The file's frames, and its converted length in CD frames.
std::size_t file_frames(const audio_file_case& c) {
  return audio_sectors * static_cast<std::size_t>(c.rate) / raw_sector::frames_per_second +
         odd_frames;
}
std::size_t cd_frames(const audio_file_case& c) {
  const auto rate = static_cast<std::size_t>(c.rate);
  return (file_frames(c) * cd_rate + rate / 2) / rate;
}

// The image, and in image.played what an exact case must be heard as.
audio_image make_audio_file_image(const audio_file_case& c) {
  audio_image image{test_support::make_temp_dir(), "", "TEST GAME", ""};
  image.disc = image.dir + "/game.cue";
  std::string data = valid_image();
  data.resize(2 * 2048);
  test_support::write_file(image.dir + "/game.iso", data);
  test_support::write_file(image.disc, std::string("FILE game.iso BINARY\nTRACK 01 MODE1/2048\n"
                                                   "INDEX 01 00:00:00\nPOSTGAP 00:02:00\n"
                                                   "FILE tracks.audio ") +
                                           c.type +
                                           "\nTRACK 02 AUDIO\nPREGAP 00:02:00\nINDEX 01 "
                                           "00:00:00\nTRACK 03 AUDIO\nINDEX 00 00:00:10\n"
                                           "INDEX 01 00:00:12\n");
  const std::size_t frames = file_frames(c);
  std::vector<float> levels;
  std::vector<short> samples;
  for (std::size_t i = 0; i < frames; ++i)
    for (const double level : tones(c, static_cast<double>(i) / c.rate)) {
      levels.push_back(static_cast<float>(level));
      samples.push_back(cd_sample(level));
    }
  SF_INFO info{};
  info.samplerate = c.rate;
  info.channels = c.channels;
  info.format = c.format;
  SNDFILE* file = sf_open((image.dir + "/tracks.audio").c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  const auto count = static_cast<sf_count_t>(frames);
  // 16-bit files get the samples as they are, the others the levels.
  EXPECT_EQ((c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16
                ? sf_writef_short(file, samples.data(), count)
                : sf_writef_float(file, levels.data(), count),
            count);
  sf_close(file);
  // As CD audio, little-endian, without the pregap; mono in both channels.
  for (std::size_t i = 0; c.snr == 0 && i < frames; ++i) {
    if (i / cd_samples_a_sector >= pregap_from && i / cd_samples_a_sector < pregap_to) continue;
    for (int side = 0; side < 2; ++side) {
      const short sample = samples[i * static_cast<std::size_t>(c.channels) +
                                   static_cast<std::size_t>(side % c.channels)];
      image.played += static_cast<char>(sample & 0xFF);
      image.played += static_cast<char>(sample >> 8 & 0xFF);
    }
  }
  return image;
}

// Frames written over in the middle of the file: the decoder loses its way.
void damage(const audio_image& image) {
  std::string file = read_file(image.dir + "/tracks.audio");
  for (std::size_t i = file.size() / 2; i < file.size(); ++i) file[i] = static_cast<char>(i * 37);
  test_support::write_file(image.dir + "/tracks.audio", file);
}

// The heard audio against the folded tones: within 0.1 dB of their level, at
// least `snr` dB SNR, exactly the converted length without the pregap, the
// first and last 10 ms (where a resampler's filter meets the file's edges)
// left out of the measures.
void expect_heard(const audio_file_case& c, const std::string& heard) {
  const auto level = [&heard](std::size_t frame, int side) {
    const std::size_t at =
        frame * raw_sector::audio_frame_bytes + 2 * static_cast<std::size_t>(side);
    return static_cast<short>(static_cast<unsigned char>(heard[at]) |
                              static_cast<unsigned char>(heard[at + 1]) << 8) /
           32768.0;
  };
  const std::size_t first = heard.find_first_not_of('\0') / raw_sector::audio_frame_bytes,
                    last = heard.find_last_not_of('\0') / raw_sector::audio_frame_bytes;
  const std::size_t gap = (pregap_to - pregap_from) * cd_samples_a_sector;
  ASSERT_LT(first, last);
  ASSERT_EQ(last + 1 - first, cd_frames(c) - gap);
  double power = 0, heard_power = 0, noise = 0;
  const std::size_t edge = cd_rate / 100;
  for (std::size_t n = edge; n + edge < cd_frames(c); ++n) {
    if (n >= pregap_from * cd_samples_a_sector && n < pregap_to * cd_samples_a_sector) continue;
    const std::size_t at = first + n - (n >= pregap_to * cd_samples_a_sector ? gap : 0);
    const std::array<double, 2> sides = c.fold(tones(c, static_cast<double>(n) / cd_rate));
    for (int side = 0; side < 2; ++side) {
      const double exact = std::clamp(sides[static_cast<std::size_t>(side)], -1.0, 32767 / 32768.0);
      power += exact * exact;
      heard_power += level(at, side) * level(at, side);
      noise += (level(at, side) - exact) * (level(at, side) - exact);
    }
  }
  EXPECT_NEAR(10 * std::log10(heard_power / power), 0, 0.1);
  EXPECT_GE(10 * std::log10(power / noise), c.snr);
}

constexpr double minus_3_db = 0.70710678;
constexpr auto as_it_is = [](const std::vector<double>& in) {
  return std::array<double, 2>{in[0], in.back()};
};
const audio_file_case audio_file_cases[] = {
    {"Wave", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, cd_rate, 2, 0.25, as_it_is, 0, ""},
    {"FlacCalledWave", "WAVE", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, cd_rate, 2, 0.25, as_it_is, 0,
     ""},
    {"Aiff", "AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, cd_rate, 2, 0.25, as_it_is, 0, ""},
    {"Motorola", "MOTOROLA", SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, cd_rate, 2, 0.25,
     as_it_is, 0, ""},
    {"MonoWave", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, cd_rate, 1, 0.25, as_it_is, 0, ""},
    {"FloatWave", "WAVE", SF_FORMAT_WAV | SF_FORMAT_FLOAT, cd_rate, 2, 0.25, as_it_is, 80, ""},
    // Beyond full scale: saturated, not wrapped.
    {"FloatWaveOverFullScale", "WAVE", SF_FORMAT_WAV | SF_FORMAT_FLOAT, cd_rate, 2, 1.5, as_it_is,
     80, ""},
    {"Vorbis", "OGG", SF_FORMAT_OGG | SF_FORMAT_VORBIS, cd_rate, 2, 0.25, as_it_is, 30, ""},
    {"Mp3", "MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, cd_rate, 2, 0.25, as_it_is, 30, ""},
    {"WaveAt48kHz", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 0.25, as_it_is, 70, ""},
    {"MonoWaveAt8kHz", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 0.25, as_it_is, 70, ""},
    // Left, right, centre.
    {"ThreeChannels", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, cd_rate, 3, 0.25,
     [](const std::vector<double>& in) {
       return std::array<double, 2>{in[0] + minus_3_db * in[2], in[1] + minus_3_db * in[2]};
     },
     80, ""},
    // 5.1: left, right, centre, low frequencies, left and right surround.
    {"SixChannels", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, cd_rate, 6, 0.25,
     [](const std::vector<double>& in) {
       return std::array<double, 2>{in[0] + minus_3_db * (in[2] + in[4]),
                                    in[1] + minus_3_db * (in[2] + in[5])};
     },
     80, ""},
    {"TwoHundredFiftySixChannels", "WAVE", SF_FORMAT_WAV | SF_FORMAT_PCM_16, cd_rate, 256, 0.25,
     as_it_is, 0,
     "Sorry, CD Music cannot be played: <folder>/tracks.audio holds 256 channels; ruvo folds 1 to "
     "8 into stereo.\n"},
    // Once, for the two tracks in the file; the spinner goes on.
    {"DamagedFlac", "WAVE", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, cd_rate, 2, 0.25, as_it_is, 0,
     "Sorry, CD Music stops early: <folder>/tracks.audio cannot be decoded past 00:00:"},
};

class audio_file_audio : public testing::TestWithParam<audio_file_case> {};

TEST_P(audio_file_audio, plays_as_cd_audio_at_its_own_level) {
  const audio_file_case& c = GetParam();
  const audio_image image = make_audio_file_image(c);
  const std::string err =
      fill(!RUVO_RESAMPLING && c.rate != cd_rate
               ? "Sorry, CD Music cannot be played: <folder>/tracks.audio holds audio at " +
                     std::to_string(c.rate) + " Hz, and this ruvo was built without resampling.\n"
               : c.err,
           {{"<folder>", image.dir}});
  if (err.ends_with(".\n")) {
    const auto result = test_support::run_program({RUVO_PATH, "-m", "-d", image.disc});
    EXPECT_EQ(result.out, banner + valid_announcement);
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.exit_status, 1);
    return;
  }
  if (!c.err.empty()) {
    damage(image);
    std::string heard_err;
    play_until_break(
        image, "\\\r|\r", SIGINT, [](const std::string&) { return true; }, &heard_err);
    EXPECT_TRUE(heard_err.starts_with(err) && heard_err.ends_with(" (flac decoder lost sync).\n") &&
                heard_err.find('\n') == heard_err.size() - 1)
        << heard_err;
    return;
  }
  if (c.snr == 0) {
    const std::string heard = play_until_break(
        image, "\\\r", SIGINT,
        [&image](const std::string& out) { return played(out, image.played, true); });
    EXPECT_TRUE(played(heard, image.played, true));
    return;
  }
  // Two seconds: long past the end of the audio.
  expect_heard(
      c, play_until_break(image, "\\\r|\r/\r", SIGINT, [](const std::string&) { return true; }));
}

INSTANTIATE_TEST_SUITE_P(ruvo, audio_file_audio, testing::ValuesIn(audio_file_cases), row_name);
#endif

struct refusal {
  const char* name;
  bool with_audio;
  const char* removed;           // a file of the image taken away, or ""
  const char* track3_type;       // the type its FILE gives track03.bin
  std::vector<std::string> env;  // the sound output
  std::string err;               // "<folder>" stands for the image's folder
};

const std::string cannot_play = "Sorry, CD Music cannot be played: ";
const std::string built_without = cannot_play + "this ruvo was built without sound output.\n";
const std::string no_output = RUVO_AUDIO ? cannot_play + "no sound output (" : built_without;
const std::vector<std::string> no_sound = {"SDL_AUDIODRIVER=no-such-driver"};  // never reached

// Each ends like a refused play request: one message, exit status 1.
const refusal refusals[] = {
    {"DataOnlyDisc", false, "", "BINARY", no_sound,
     cannot_play + "<folder>/disc.cue has no audio tracks after track 1.\n"},
    {"MissingTrackFile", true, "track03.bin", "BINARY", no_sound,
     RUVO_AUDIO ? cannot_play + "<folder>/track03.bin cannot be read.\n" : built_without},
    // Raw CD audio is no audio file; after "(", the decoder's reason.
    {"UndecodableAudioFile", true, "", "WAVE", no_sound,
     RUVO_AUDIO_FILES ? cannot_play + "<folder>/track03.bin cannot be decoded ("
     : RUVO_AUDIO
         ? cannot_play +
               "<folder>/track03.bin is a WAVE file, and this ruvo was built without audio "
               "file decoding.\n"
         : built_without},
    // A machine without a sound card: libasound finds no device, and its own
    // complaints stay off standard error.
    {"NoSoundCard",
     true,
     "",
     "BINARY",
     {"SDL_AUDIODRIVER=alsa", "ALSA_CONFIG_PATH=/dev/null"},
     no_output},
};

class image_audio_refused : public testing::TestWithParam<refusal> {};

TEST_P(image_audio_refused, like_a_refused_play_request) {
  const refusal& c = GetParam();
  const audio_image image = make_cue_image(1, c.with_audio);
  if (*c.removed != '\0') unlink((image.dir + "/" + c.removed).c_str());
  std::string sheet = read_file(image.disc);
  if (const auto at = sheet.find("track03.bin BINARY"); at != std::string::npos)
    sheet.replace(at + 12, 6, c.track3_type);
  test_support::write_file(image.disc, sheet);
  test_support::run_options sound;
  sound.env = c.env;
  const auto result = test_support::run_program({RUVO_PATH, "-m", "-d", image.disc}, sound);
  EXPECT_EQ(result.out, banner + valid_announcement);
  const std::string err = fill(c.err, {{"<folder>", image.dir}});
  // One line; after "(", the library's reason.
  EXPECT_TRUE(result.err.starts_with(err) && result.err.find('\n') == result.err.size() - 1)
      << result.err;
  EXPECT_EQ(result.exit_status, 1);
}

INSTANTIATE_TEST_SUITE_P(ruvo, image_audio_refused, testing::ValuesIn(refusals), row_name);

}  // namespace
