// Process-wide options, break handling and the small text routines of ruvo.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

extern int show_cdrom_info;       // -i: list the header instead of announcing the game
extern int play_music;            // -m: play the disc's audio after the announcement
extern int user_cddevice;         // -d: a device path was given
extern std::string cddevice;      // the path given with the last -d
extern std::string program_name;  // the first command-line word, for the usage line

// Scans the arguments after the program name into the flags above. 1 to go on,
// 0 to stop now (usage shown or an unknown option reported).
int parse_options(int argc, char** argv);

// The breaks, SIGINT, SIGTERM and SIGHUP, are held off while the program
// writes, so that a break never cuts a write short, and let in only around the
// calls that wait on the device. Either function runs the break sequence, which
// does not return, as soon as it sees a break.
void allow_break();
void hold_break();

// A step boundary: lets in a break that is waiting and acts on it.
inline void break_point() {
  allow_break();
  hold_break();
}

// Runs a call that may wait on the device (open, read, a drive request, the
// spinner's sleep) with breaks let in, so that a break ends the wait early.
template <typename Call>
auto breakable(Call call) {
  allow_break();
  const auto result = call();
  hold_break();
  return result;
}

// Sends the drive, if it is open, the stop request and closes it, then ends the
// process with status. A break while the request waits ends it at once.
[[noreturn]] void stop_drive_and_exit(int status);

// The text without its trailing spaces (code 32 only). The text ends at its
// first zero byte, looked for only among the first `room` bytes, or after them.
// Nothing is written: the bytes after the shown text stay as they were read.
std::string_view fmttitle(const char* text, std::size_t room);

// The first of the n bytes at start that equals c (a zero byte does not end the
// search), or nullptr.
const char* strnchr(const char* start, int c, int n);

// "Nov 5, 1995" from the eight characters "19951105"; "???" for a month
// outside 1 to 12.
std::string strdate(const char* date);
