// The audio a CUE sheet's tracks hold: the byte spans a player reads, from the
// sheet's indexes and the track files' sizes, through the sheet's track table.
#include "cue_sheet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "disc_table.h"
#include "named_rows.h"
#include "raw_sector.h"
#include "run_program.h"

namespace {

constexpr std::uint64_t sector = raw_sector::size;

struct span {
  std::string file;  // in the sheet's folder
  std::uint64_t offset;
  std::uint64_t length;
  bool operator==(const span&) const = default;
};

void PrintTo(const span& s, std::ostream* os) {
  *os << s.file << " @" << s.offset << " +" << s.length;
}

struct spans_case {
  const char* name;
  std::string sheet;
  std::vector<std::pair<std::string, std::uint64_t>> files;  // name and size
  int first_track;
  std::vector<span> spans;
};

const spans_case spans_cases[] = {
    {"OneFileWithAPregap",
     "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n"
     " TRACK 02 AUDIO\n  INDEX 00 00:00:16\n  INDEX 01 00:02:16\n",
     {{"d.bin", 241 * sector}},
     2,
     {{"d.bin", 166 * sector, 75 * sector}}},
    {"AFilePerTrack",
     "FILE \"1.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n"
     "FILE \"2.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:02:00\n"
     "FILE \"3.bin\" BINARY\n TRACK 03 AUDIO\n  INDEX 01 00:00:00\n",
     {{"1.bin", 16 * sector}, {"2.bin", 160 * sector}, {"3.bin", 1000}},
     2,
     {{"2.bin", 150 * sector, 10 * sector}, {"3.bin", 0, 1000}}},
    // A track ends where the next one's INDEX 00 (else INDEX 01) begins; the
    // sectors before an index have the size of the track they belong to.
    {"TracksSharingAFile",
     "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n"
     " TRACK 02 AUDIO\n  INDEX 01 00:00:10\n"
     " TRACK 03 AUDIO\n  INDEX 00 00:00:20\n  INDEX 01 00:00:30\n  INDEX 02 00:00:40\n"
     " TRACK 04 AUDIO\n  INDEX 01 00:00:50\n",
     {{"d.bin", 10 * 2048 + 50 * sector}},
     2,
     {{"d.bin", 10 * 2048, 10 * sector},
      {"d.bin", 10 * 2048 + 20 * sector, 20 * sector},
      {"d.bin", 10 * 2048 + 40 * sector, 10 * sector}}},
    {"FromTrackThree",
     "FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
     " TRACK 02 AUDIO\n  INDEX 01 00:00:01\n TRACK 03 AUDIO\n  INDEX 01 00:00:02\n",
     {{"d.bin", 5 * sector}},
     3,
     {{"d.bin", 2 * sector, 3 * sector}}},
    {"DataTracksAreSkipped",
     "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n"
     " TRACK 02 AUDIO\n  INDEX 01 00:00:01\n TRACK 03 MODE2/2352\n  INDEX 01 00:00:02\n",
     {{"d.bin", 3 * sector}},
     2,
     {{"d.bin", sector, sector}}},
    // A missing file is not measured (playing says it cannot be read); one
    // that ends before the track begins holds nothing.
    {"MissingFile",
     "FILE \"d.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n",
     {},
     2,
     {{"d.bin", 0, to_file_end}}},
    {"FileEndsBeforeTheTrack",
     "FILE \"d.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 01 00:01:00\n",
     {{"d.bin", 100}},
     2,
     {{"d.bin", 75 * sector, 0}}},
};

class audio_spans_test : public testing::TestWithParam<spans_case> {};

TEST_P(audio_spans_test, spans_in_play_order) {
  const spans_case& c = GetParam();
  const std::string folder = test_support::make_temp_dir();
  for (const auto& [name, size] : c.files) {
    test_support::write_file(folder + "/" + name, "");
    ASSERT_EQ(truncate((folder + "/" + name).c_str(), static_cast<off_t>(size)), 0);
  }
  cue_sheet sheet;
  ASSERT_EQ(parse_cue_sheet(folder + "/disc.cue", c.sheet, sheet), 1);
  // Measured as the disc source measures the files it could open.
  disc_table table = cue_disc_table(sheet);
  for (disc_file& file : table.files) {
    struct stat info {};
    if (stat(file.path.c_str(), &info) == 0) file.size = static_cast<std::uint64_t>(info.st_size);
  }
  fit_to_files(table);
  std::vector<span> spans;
  for (const audio_piece& p : audio_pieces(table, c.first_track))
    spans.push_back(
        {table.files[p.piece.file].path.substr(folder.size() + 1), p.piece.offset, p.piece.length});
  EXPECT_EQ(spans, c.spans);
}

INSTANTIATE_TEST_SUITE_P(cue_sheet, audio_spans_test, testing::ValuesIn(spans_cases), row_name);

}  // namespace
