// ruvo's command line: the option flags and the scan that sets them.
#pragma once

#include <string>

extern int show_cdrom_info;       // -i: list the header instead of announcing the game
extern int play_music;            // -m: play the disc's audio after the announcement
extern int user_cddevice;         // -d: a device path was given
extern std::string cddevice;      // the path given with the last -d
extern std::string program_name;  // the first command-line word, for the usage line

// The device read when no -d names one.
inline constexpr const char* default_cddevice = "/dev/cdrom";

// Scans the arguments after the program name into the flags above. 1 to go on,
// 0 to stop now (usage shown or an unknown option reported).
int parse_options(int argc, char** argv);
