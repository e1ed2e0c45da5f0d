// The command line: option letters, grouping, -d and its path, and the exit
// status of each way a run can end, lost output included.
#include <gtest/gtest.h>
#include <unistd.h>

#include "ruvo_test.h"

namespace {

using namespace ruvo_test;

// What follows the banner on standard output.
enum class shows { nothing, usage, listing, announcement };

struct option_case {
  const char* name;
  std::vector<std::string> args;  // "<disc>" stands for a valid image, "<none>" for a missing path
  shows out;
  std::string err;
  int status;
};

const char* const not_opened = "CD Device /nonexistent/ruvo-disc cannot be opened!\n";
const char* const refused = "Sorry, CD Music cannot be played.\n";

const option_case option_cases[] = {
    {"HelpAlone", {"-h"}, shows::usage, "", 0},
    {"HelpStopsTheScan", {"-h", "-x"}, shows::usage, "", 0},
    {"HelpLaterInAGroup", {"-ihx"}, shows::usage, "", 0},
    {"UnknownBeforeHelp", {"-x", "-h"}, shows::nothing, "Unknown option 'x'\n", 0},
    {"UnknownInAGroup", {"-d", "<disc>", "-ixh"}, shows::nothing, "Unknown option 'x'\n", 0},
    {"LettersAreCaseSensitive", {"-H"}, shows::nothing, "Unknown option 'H'\n", 0},
    {"DoubleDash", {"--"}, shows::nothing, "Unknown option '-'\n", 0},
    {"DeviceAsLastArgument", {"-d"}, shows::usage, "", 0},
    {"DeviceTakesADashedPath", {"-d", "-i"}, shows::nothing, "CD Device -i cannot be opened!\n", 0},
    {"Listing", {"-d", "<disc>", "-i"}, shows::listing, "", 1},
    {"ListingWinsOverMusic", {"-i", "-m", "-d", "<disc>"}, shows::listing, "", 1},
    {"GroupedListingAndMusic", {"-mi", "-d", "<disc>"}, shows::listing, "", 1},
    {"Announcement", {"-d", "<disc>"}, shows::announcement, "", 1},
    {"MusicRefusedByAFile", {"-m", "-d", "<disc>"}, shows::announcement, refused, 1},
    {"GroupDeviceThenMusic", {"-dm", "<disc>"}, shows::announcement, refused, 1},
    {"GroupMusicThenDevice", {"-md", "<disc>"}, shows::announcement, refused, 1},
    {"SecondDeviceWins", {"-d", "<none>", "-d", "<disc>", "-i"}, shows::listing, "", 1},
    {"DoubleDeviceGroupTakesBoth", {"-dd", "<none>", "<disc>", "-i"}, shows::listing, "", 1},
    {"DoubleDeviceGroupWithoutSecondPath", {"-dd", "<disc>"}, shows::usage, "", 0},
    {"WordIsSkipped", {"word", "-d", "<disc>", "-i"}, shows::listing, "", 1},
    {"LoneDashIsSkipped", {"-", "-d", "<disc>", "-i"}, shows::listing, "", 1},
    {"MissingDevice", {"-d", "<none>"}, shows::nothing, not_opened, 0},
};

class option_scan : public testing::TestWithParam<option_case> {};

TEST_P(option_scan, output_and_exit_status) {
  const option_case& c = GetParam();
  const std::string disc = image_file(valid_image());
  std::vector<std::string> args;
  for (const auto& a : c.args)
    args.push_back(fill(a, {{"<disc>", disc}, {"<none>", "/nonexistent/ruvo-disc"}}));
  const auto result = run_ruvo(args);

  std::string out = banner;
  if (c.out == shows::usage) out += usage();
  if (c.out == shows::listing) out += valid_listing;
  if (c.out == shows::announcement) out += valid_announcement;
  EXPECT_EQ(result.out, out);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.exit_status, c.status);
}

INSTANTIATE_TEST_SUITE_P(ruvo, option_scan, testing::ValuesIn(option_cases), row_name);

// Standard output that fails: the failure is reported once, naming its cause,
// and the run counts as one that stopped early.
const std::string no_space = "Can not write to standard output: No space left on device\n";
const std::string closed = "Can not write to standard output: Bad file descriptor\n";

struct output_failure {
  const char* name;
  const char* option;    // after -d and a valid image
  const char* redirect;  // the shell's redirection of ruvo's standard output
  std::string err;
};

const output_failure output_failures[] = {
    {"ListingToAFullDevice", "-i", ">/dev/full", no_space},
    {"AnnouncementToAFullDevice", "", ">/dev/full", no_space},
    {"MusicToAFullDevice", "-m", ">/dev/full", no_space},
    {"UsageToAFullDevice", "-h", ">/dev/full", no_space},
    {"ListingToClosedOutput", "-i", ">&-", closed},
    {"AnnouncementToClosedOutput", "", ">&-", closed},
    {"MusicToClosedOutput", "-m", ">&-", closed},
};

class output_fails : public testing::TestWithParam<output_failure> {};

TEST_P(output_fails, run_stops_early_with_one_message) {
  const output_failure& c = GetParam();
  const fake_drive drive = make_fake_drive();
  const auto result = test_support::run_program(
      {"/bin/sh", "-c",
       std::string("exec env LD_PRELOAD=\"$RUVO_PRELOAD\" \"$0\" \"$@\" ") + c.redirect, RUVO_PATH,
       "-d", image_file(valid_image()), c.option},
      through_shell(drive));
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.exit_status, 0);
  // The lost announcement keeps the drive from being started at all.
  EXPECT_EQ(requests(drive), "");
}

INSTANTIATE_TEST_SUITE_P(ruvo, output_fails, testing::ValuesIn(output_failures), row_name);

TEST(option_scan, without_arguments_opens_the_default_drive) {
  if (access("/dev/cdrom", F_OK) == 0) GTEST_SKIP() << "this machine has a /dev/cdrom";
  const auto result = run_ruvo({});
  EXPECT_EQ(result.out, banner);
  EXPECT_EQ(result.err, "CD Device /dev/cdrom cannot be opened!\n");
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
