// The disc start-up flow and CD audio playback.
#pragma once

#include <cstdint>

// The open CD device, or -1 until it has been opened.
extern int saturn_cdrom;

// Whether -m has the drive or the sound output playing.
extern bool audio_playing;

// Opens the device as the disc source, reads and tests the header, then lists
// it (-i) or announces the game and, with -m, plays its audio until a break
// or lost output. 1 when the flow ran through, 0 when it stopped at a failure
// or a break.
int emulate_bios(const char* device);

// Has the drive play from start_track, index 1, to ten tracks further on, and
// spins a character once a second until a break. Returns 0, after its
// message, when the drive refuses the request, else 1 once the spinner stops.
int cdrom_play_track(std::uint8_t start_track);

// Sends the drive, if it is open, the stop request, and closes it.
void stop_drive();
