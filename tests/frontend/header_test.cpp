// The disc header: reading the 3584 bytes, the tests in their order with their
// messages, the listing and the title.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ruvo_test.h"

namespace {

using namespace ruvo_test;
using namespace std::string_literals;

struct patch {
  std::size_t offset;
  std::string bytes;
};

std::string patched(const std::vector<patch>& patches) {
  std::string image = valid_image();
  for (const auto& p : patches) put(image, p.offset, p.bytes);
  return image;
}

const char* const silly_version = "Silly error: version does not begin with a 'V'!\n";
const char* const not_first = "Not 1st cd!\n";

struct header_case {
  const char* name;
  std::vector<patch> patches;
  std::string err;  // empty: the header passes and the game is announced
};

const header_case header_cases[] = {
    // The tests run in order; the first failing one speaks.
    {"EveryFieldBad",
     {{hardware_id.offset, "SEGA SEGASATURN!"},
      {version.offset, "v"},
      {device_info.offset, "XX"},
      {peripherals.offset, "A"}},
     invalid_header},
    {"ZeroInsteadOfFinalSpace", {{hardware_id.offset, "SEGA SEGASATURN\0"s}}, invalid_header},
    {"LowerCaseHardware", {{hardware_id.offset, "sega segasaturn "}}, invalid_header},
    {"VersionBeforeDisc",
     {{version.offset, "v1.000"}, {device_info.offset, "CD-2/2"}},
     silly_version},
    {"VersionWithLeadingSpace", {{version.offset, " V1.00"}}, silly_version},
    {"DiscBeforeDevices", {{device_info.offset, "CD-2/2  "}, {peripherals.offset, "A"}}, not_first},
    // The device information as scanf reads "CD-%d/%d".
    {"DeviceInfoSpaces", {{device_info.offset, "        "}}, not_first},
    {"DeviceInfoNotCD", {{device_info.offset, "XX-1/1  "}}, not_first},
    {"DeviceInfoZeroAfterDash", {{device_info.offset, "CD-\0"s}}, not_first},
    {"SecondDisc", {{device_info.offset, "CD-2/2  "}}, not_first},
    {"NegativeDisc", {{device_info.offset, "CD--1/2 "}}, not_first},
    {"LeadingZero", {{device_info.offset, "CD-01/2 "}}, ""},
    {"SpaceAndSign", {{device_info.offset, "CD- +1/2"}}, ""},
    {"TabBeforeNumber", {{device_info.offset, "CD-\t1/2 "}}, ""},
    {"NoDiscCount", {{device_info.offset, "CD-1    "}}, ""},
    {"NumberInTheNextField",
     {{device_info.offset, "CD-     "}, {area_codes.offset, "1/1JTUE   "}},
     ""},
    {"DigitsRunIntoTheNextField",
     {{device_info.offset, "CD-00000"}, {area_codes.offset, "1 JTUE    "}},
     ""},
    {"HugeNumberIsNotOne",  // 4294967297 is 1 modulo 2^32
     {{device_info.offset, "CD-42949"}, {area_codes.offset, "67297     "}},
     not_first},
    // Devices that are not emulated, tested in the order A M K S T.
    {"JoystickBeforeMouse",
     {{peripherals.offset, "JMA"}},
     "Device: Analog Joystick used but not emulated.\n"},
    {"Mouse", {{peripherals.offset, "M"}}, "Device: Mouse used but not emulated.\n"},
    {"Keyboard", {{peripherals.offset, "JK"}}, "Device: Keyboard used but not emulated.\n"},
    {"SteeringWheel",
     {{peripherals.offset, "S"}},
     "Device: Steering Wheel used but not emulated.\n"},
    {"Multitap", {{peripherals.offset, "T"}}, "Device: Multitap used but not emulated.\n"},
    {"ZeroDoesNotEndTheSearch",
     {{peripherals.offset, "J\0\0A"s}},
     "Device: Analog Joystick used but not emulated.\n"},
    {"LastByteOfTheField",
     {{peripherals.offset, "               K"}},
     "Device: Keyboard used but not emulated.\n"},
    {"LowerCaseLetters", {{peripherals.offset, "amkst"}}, ""},
    {"LetterJustPastTheField", {{peripherals.offset, "JJJJJJJJJJJJJJJJ"}, {title.offset, "A"}}, ""},
};

class header_test : public testing::TestWithParam<header_case> {};

TEST_P(header_test, first_failing_test_reports) {
  const header_case& c = GetParam();
  const auto result = run_ruvo({"-d", image_file(patched(c.patches))});
  EXPECT_EQ(result.err, c.err);
  if (c.err.empty()) {
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out.substr(0, banner.size() + 14), banner + "Playing game \"");
  } else {
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, banner);
  }
}

INSTANTIATE_TEST_SUITE_P(ruvo, header_test, testing::ValuesIn(header_cases), row_name);

// Without a zero byte after "CD-", the scan and the title run to the end of the
// 3584 bytes, where disc_count (still 0) ends them.
TEST(header_test, scan_and_title_stop_at_the_end_of_the_area) {
  for (const char last : {'1', '2'}) {
    std::string image = valid_image();
    const std::size_t digits = device_info.offset + 3;
    put(image, digits, std::string(area_size - digits, '0'));
    image.back() = last;
    const auto result = run_ruvo({"-d", image_file(image)});
    if (last == '1') {
      EXPECT_EQ(result.out, banner + "Playing game \"" + image.substr(title.offset) +
                                "\".\nNo CPU emulation has began.\n");
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.exit_status, 1);
    } else {
      EXPECT_EQ(result.out, banner);
      EXPECT_EQ(result.err, not_first);
      EXPECT_EQ(result.exit_status, 0);
    }
  }
}

TEST(read_header, short_reads_fail) {
  for (const std::size_t size : {0, 1, 255, 256, 257, 3583}) {
    SCOPED_TRACE(size);
    const auto result = run_ruvo({"-d", image_file(valid_image().substr(0, size)), "-i"});
    EXPECT_EQ(result.out, banner);
    EXPECT_EQ(result.err, "Can not read the CD header!\n");
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST(read_header, bytes_past_the_area_are_not_read) {
  const auto result = run_ruvo({"-d", image_file(valid_image() + std::string(1000, 'A')), "-i"});
  EXPECT_EQ(result.out, banner + valid_listing);
  EXPECT_EQ(result.exit_status, 1);
}

class read_header_from_a_pipe : public testing::TestWithParam<int> {};

// The pipe delivers the first bytes, pauses, then the rest: a read that
// returns less than asked is not the end of the data.
TEST_P(read_header_from_a_pipe, reads_until_the_area_is_full) {
  const auto result = test_support::run_program(
      {"/bin/sh", "-c",
       "(head -c $2 \"$1\"; sleep .2; tail -c +$(($2 + 1)) \"$1\") | exec \"$0\" -d /dev/stdin -i",
       RUVO_PATH, image_file(valid_image()), std::to_string(GetParam())});
  EXPECT_EQ(result.out, banner + valid_listing);
  EXPECT_EQ(result.exit_status, 1);
}

// Named by the number of bytes before the pause.
INSTANTIATE_TEST_SUITE_P(ruvo, read_header_from_a_pipe, testing::Values(100, 256, 1000),
                         testing::PrintToStringParamName());

TEST(error_reporter, percent_in_the_path_is_printed_as_it_is) {
  const std::string path = test_support::make_temp_dir() + "/%s%n%d%%";
  const auto result = run_ruvo({"-d", path});
  EXPECT_EQ(result.out, banner);
  EXPECT_EQ(result.err, "CD Device " + path + " cannot be opened!\n");
  EXPECT_EQ(result.exit_status, 0);
}

struct listing_case {
  const char* name;
  std::vector<patch> patches;
  std::vector<std::pair<std::string, std::string>> changes;  // in the valid listing
};

const listing_case listing_cases[] = {
    {"RawFieldsKeepEveryByte",
     {{maker_id.offset, "A\tB\0C\xFF"s}, {area_codes.offset, "\0\0\0\0\0\0\0\0\0\0"s}},
     {{"Maker ID: RUVO T", "Maker ID: A\tB\0C\xFF"s},
      {"Area Codes: JTUE      ", "Area Codes: \0\0\0\0\0\0\0\0\0\0"s}}},
    // The release date in words.
    {"LeadingZerosAreNotOctal",
     {{release_date.offset, "09990809"}},
     {{"19951105 (Nov 5, 1995)", "09990809 (Aug 9, 999)"}}},
    {"SpacesBeforeDigits",
     {{release_date.offset, "1999 9 7"}},
     {{"19951105 (Nov 5, 1995)", "1999 9 7 (Sep 7, 1999)"}}},
    {"MonthThirteen",
     {{release_date.offset, "19991301"}},
     {{"19951105 (Nov 5, 1995)", "19991301 (??? 1, 1999)"}}},
    {"MonthNotDigits",
     {{release_date.offset, "1999AB01"}},
     {{"19951105 (Nov 5, 1995)", "1999AB01 (??? 1, 1999)"}}},
    {"Negatives",
     {{release_date.offset, "-999-9-9"}},
     {{"19951105 (Nov 5, 1995)", "-999-9-9 (??? -9, -999)"}}},
    {"ZeroBytes",
     {{release_date.offset, "1995\0\0\0\0"s}},
     {{"19951105 (Nov 5, 1995)", "1995\0\0\0\0 (??? 0, 1995)"s}}},
    // The numbers, least significant byte first.
    {"Numbers",
     {{ip_size.offset, "\0\x56\x34\x12"s},
      {master_sp.offset, "\0\0\0\0"s},
      {slave_sp.offset, "\x01\0\0\x80"s}},
     {{"$00180000 (1572864)", "$12345600 (305419776)"},
      {"$06002000 (100671488)", "$00000000 (0)"},
      {"$06001000 (100667392)", "$80000001 (2147483649)"}}},
    // The title, trimmed of spaces at its end.
    {"TitleAllSpaces",
     {{title.offset, std::string(112, ' ')}},
     {{"Title: TEST GAME\n", "Title: \n"}}},
    {"TitleWithZeroInside",
     {{title.offset, "TEST\0GAME"s}},
     {{"Title: TEST GAME\n", "Title: TEST\n"}}},
    {"OnlySpacesAreTrimmed",
     {{title.offset, "TEST GAME\t \v"}},
     {{"Title: TEST GAME\n", "Title: TEST GAME\t \v\n"}}},
    {"LeadingSpacesStay",
     {{title.offset, "  TEST GAME"}},
     {{"Title: TEST GAME\n", "Title:   TEST GAME\n"}}},
    {"TitleRunsOnPastItsField",
     {{after_title.offset, "XYZ"}},
     {{"Title: TEST GAME\n", "Title: TEST GAME" + std::string(103, ' ') + "XYZ\n"}}},
    {"TitleRunsIntoTheNumbers",
     {{ip_size.offset, "AB\0\0"s}},
     {{"Title: TEST GAME\n", "Title: TEST GAME" + std::string(119, ' ') + "AB\n"},
      {"$00180000 (1572864)", "$00004241 (16961)"}}},
    {"TrimmingLeavesTheNumbersAlone",
     {{after_title.offset, "0123456789ABCDEF"}, {ip_size.offset, "  \0\0"s}},
     {{"Title: TEST GAME\n", "Title: TEST GAME" + std::string(103, ' ') + "0123456789ABCDEF\n"},
      {"$00180000 (1572864)", "$00002020 (8224)"}}},
};

class listing : public testing::TestWithParam<listing_case> {};

TEST_P(listing, shows_the_fields) {
  const listing_case& c = GetParam();
  std::string listing = valid_listing;
  for (const auto& [from, to] : c.changes) {
    const auto where = listing.find(from);
    ASSERT_NE(where, std::string::npos) << from;
    listing.replace(where, from.size(), to);
  }
  const auto result = run_ruvo({"-i", "-d", image_file(patched(c.patches))});
  EXPECT_EQ(result.out, banner + listing);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_status, 1);
}

INSTANTIATE_TEST_SUITE_P(ruvo, listing, testing::ValuesIn(listing_cases), row_name);

struct shown_change {
  std::string from, raw, on_terminal;  // in the valid listing
};

struct disc_text_case {
  const char* name;
  std::vector<patch> patches;
  std::vector<shown_change> changes;
};

const disc_text_case disc_text_cases[] = {
    {"TitleThatWritesTheClipboard",
     {{title.offset, "EVIL\x1B]52;c;aGk=\x07"}},
     {{"TEST GAME", "EVIL\x1B]52;c;aGk=\x07", "EVIL\\x1B]52;c;aGk=\\x07"}}},
    {"EdgesOfTheControlRanges",
     {{maker_id.offset, "\x1F\x20\x7E\x7F\x80\x9F\xA0\xFF"}},
     {{"RUVO TES", "\x1F\x20\x7E\x7F\x80\x9F\xA0\xFF", "\\x1F ~\\x7F\\x80\\x9F\xA0\xFF"}}},
    {"EveryOtherField",
     {{product_number.offset, "\0"s},
      {version.offset + 1, "\x9B"},
      {release_date.offset + 7, "\x7F"},
      {device_info.offset + 6, "\r\n"},
      {area_codes.offset, "\t"},
      {peripherals.offset + 1, "\x1B"}},
     {{"T-1234", "\0-1234"s, "\\x00-1234"},
      {"V1.000", "V\x9B.000", "V\\x9B.000"},
      {"19951105 (Nov 5", "1995110\x7F (Nov 0", "1995110\\x7F (Nov 0"},
      {"CD-1/1  ", "CD-1/1\r\n", "CD-1/1\\x0D\\x0A"},
      {"JTUE", "\tTUE", "\\x09TUE"},
      {"J ", "J\x1B", "J\\x1B"}}},
};

class disc_text : public testing::TestWithParam<disc_text_case> {};

// Through a pipe the bytes go out as they are; on a terminal the ones that
// would control it are escaped, in the listing and in the announcement.
TEST_P(disc_text, is_escaped_on_a_terminal_only) {
  const disc_text_case& c = GetParam();
  const std::string disc = image_file(patched(c.patches));
  for (const bool terminal : {false, true}) {
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    std::string listing = valid_listing, announcement = valid_announcement;
    for (const auto& change : c.changes) {
      const std::string& to = terminal ? change.on_terminal : change.raw;
      listing.replace(listing.find(change.from), change.from.size(), to);
      if (const auto at = announcement.find(change.from); at != std::string::npos)
        announcement.replace(at, change.from.size(), to);
    }
    test_support::run_options options;
    options.terminal = terminal;
    EXPECT_EQ(run_ruvo({"-i", "-d", disc}, options).out, banner + listing);
    EXPECT_EQ(run_ruvo({"-d", disc}, options).out, banner + announcement);
  }
}

INSTANTIATE_TEST_SUITE_P(ruvo, disc_text, testing::ValuesIn(disc_text_cases), row_name);

TEST(announcement, title_is_trimmed_the_same_way) {
  const auto result =
      run_ruvo({"-d", image_file(patched({{title.offset, "A TITLE " + std::string(104, ' ')}}))});
  EXPECT_EQ(result.out, banner + "Playing game \"A TITLE\".\nNo CPU emulation has began.\n");
  EXPECT_EQ(result.exit_status, 1);
}

class bundled_sample : public testing::TestWithParam<const char*> {};
constexpr const char* sample_names[] = {"Plain", "CueSheet", "RawImage", "TocFile"};

// The plain image, the raw image, its CUE sheet and its TOC file hold the same disc.
TEST_P(bundled_sample, lists_and_announces_the_same_disc) {
  const auto listed = run_ruvo({"-d", GetParam(), "-i"});
  EXPECT_EQ(listed.out, banner +
                            "Hardware: SEGA SEGASATURN \n"
                            "Maker ID: RUVO DEVELOPERS \n"
                            "Product Number: RV-00014  \n"
                            "Version: V1.004\n"
                            "Release: 19961122 (Nov 22, 1996)\n"
                            "Device Info: CD-1/1  \n"
                            "Area Codes: JTUE      \n"
                            "Pariphreals(sp?): J               \n"
                            "Title: RUVO SAMPLE DISC\n"
                            "IP Size: $00180000 (1572864)\n"
                            "Master SP: $00200006 (2097158)\n"
                            "Slave  SP: $00100006 (1048582)\n"
                            "First Read Address: $00400006 (4194310)\n"
                            "First Read Size: $00000000 (0)\n");
  EXPECT_EQ(listed.exit_status, 1);
  const auto announced = run_ruvo({"-d", GetParam()});
  EXPECT_EQ(announced.out,
            banner + "Playing game \"RUVO SAMPLE DISC\".\nNo CPU emulation has began.\n");
  EXPECT_EQ(announced.err, "");
  EXPECT_EQ(announced.exit_status, 1);
}

INSTANTIATE_TEST_SUITE_P(ruvo, bundled_sample,
                         testing::Values(SAMPLE_DISC_PATH, SAMPLE_CUE_PATH, SAMPLE_RAW_PATH,
                                         SAMPLE_TOC_PATH),
                         [](const auto& info) { return std::string(sample_names[info.index]); });

}  // namespace
