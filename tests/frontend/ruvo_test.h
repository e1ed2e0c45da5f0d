// Shared pieces of the ruvo tests: running the binary, and disc-header images
// made byte by byte.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "header_layout.h"
#include "named_rows.h"
#include "run_program.h"

namespace ruvo_test {

inline const std::string banner =
    "ruvo v" RUVO_VERSION " by the ruvo developers\nUse -h for help\n\n";

// The usage text as ruvo prints it when started under its build path.
std::string usage();

test_support::program_result run_ruvo(const std::vector<std::string>& args,
                                      const test_support::run_options& options = {});

// Overwrites image bytes from offset on.
void put(std::string& image, std::size_t offset, std::string_view bytes);
// Writes text padded with spaces to the field's width.
void put_text(std::string& image, header_field field, std::string_view text);

// 3584 bytes whose header passes every test: title "TEST GAME", the 16 bytes
// after the title spaces, a zero body. Its listing is valid_listing.
std::string valid_image();
extern const std::string valid_listing;
inline const std::string valid_announcement =
    "Playing game \"TEST GAME\".\nNo CPU emulation has began.\n";

// The area in raw sectors (2352 bytes each, see raw_sector.h) of the given
// mode, its 3584 bytes in the first two; Mode 2 sectors are form 1.
std::string raw_image(const std::string& area, unsigned char mode, std::size_t sectors = 2);

// The text with each placeholder ("<folder>", say) replaced by its value
// wherever it stands.
std::string fill(std::string text,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// Writes the bytes to a fresh file and returns its path.
std::string image_file(const std::string& bytes);

inline const std::string invalid_header =
    "Invalid CD Header. Make sure there is a Saturn CD in the\n"
    "drive and that the CD is clean and free of scratches.\n";
inline const std::string break_message = "Break Caught...Exiting...\n";

// A CD drive preloaded into ruvo that accepts every play and stop request and
// logs it: run ruvo with the options to use it.
struct fake_drive {
  std::string log;  // one line per request the drive got
  test_support::run_options options;
};
fake_drive make_fake_drive();
// The requests the drive got so far.
std::string requests(const fake_drive& drive);
// The drive's options for ruvo started by /bin/sh: the shell gets the library
// in RUVO_PRELOAD instead (a sanitizer build of it cannot load into the shell)
// and starts ruvo with `exec env LD_PRELOAD="$RUVO_PRELOAD" ...`.
test_support::run_options through_shell(const fake_drive& drive);

// A fresh FIFO: a drive that blocks in open until a writer comes, and in read
// until the writer sends or closes.
std::string make_fifo();

// Waits until the process sleeps in the given system call, seen the same way
// several times in a row so that a call merely passing by does not count.
bool blocked_in(pid_t pid, long call);

}  // namespace ruvo_test
