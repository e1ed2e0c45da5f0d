// CD audio from disc image files, played through the computer's sound output:
// what -m does for an image, where there is no drive to ask.
#pragma once

#include <vector>

#include "cue_sheet.h"

// Plays the spans one after the other as CD audio (44,100 Hz, 16-bit stereo):
// BINARY and MOTOROLA files hold it as it is, audio files are decoded (see
// audio_file.h). Prints the play prompt and turns the spinner once a
// second as with a drive, until a break ends the process; the spinner goes on
// after the last span. Returns 0 after its message when it cannot play: a
// file that cannot be read or decoded, no sound output, or a ruvo built
// without one.
int play_pcm(const std::vector<pcm_span>& spans);

// Silences and releases the sound output and the files at once, for the break
// sequence; nothing when nothing plays.
void stop_pcm();
