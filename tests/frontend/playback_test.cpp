// CD audio and the break. A fake drive, preloaded into ruvo, accepts the play
// request so that -m really spins; FIFOs stand in for a drive that blocks in
// open or in read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

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

INSTANTIATE_TEST_SUITE_P(ruvo, music_from_an_image,
                         testing::Values(SAMPLE_CUE_PATH, SAMPLE_RAW_PATH), [](const auto& info) {
                           return std::string(info.index == 0 ? "CueSheet" : "RawImage");
                         });

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

}  // namespace
