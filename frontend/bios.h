// The disc start-up flow and CD audio playback.
#pragma once

#include <cstdint>

// The open CD device, or -1 until it has been opened.
extern int saturn_cdrom;

// Opens the device, reads and tests the header, then lists it (-i) or announces
// the game and, with -m, plays its audio. 1 when the flow ran through, 0 when it
// stopped at a failure.
int emulate_bios(const char* device);

// Has the drive play from start_track, index 1, to ten tracks further on, and
// spins a character once a second until a break ends the process. Returns 0,
// after its message, only when the drive refuses the request.
int cdrom_play_track(std::uint8_t start_track);

// The play prompt, then a spinner frame once a second until a break ends the
// process. each_second, unless null, runs after every frame: playing from an
// image, it keeps the sound output fed.
[[noreturn]] void spin_until_break(void (*each_second)());
