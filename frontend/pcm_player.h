// CD audio from disc image files, played through the computer's sound output:
// what -m does for an image, where there is no drive to ask.
#pragma once

#include <vector>

#include "disc_source.h"

// Starts playing the spans one after the other as CD audio (44,100 Hz, 16-bit
// stereo): binary files hold it as it is (MOTOROLA ones big-endian), audio
// files are decoded (see audio_file.h). The files stay the disc source's. 1
// when it plays, 0 after its message when it cannot: a file that could not be
// opened or cannot be decoded, no sound output, or a ruvo built without one.
int start_pcm(const std::vector<pcm_span>& spans);

// Keeps the sound output fed: once a second while it plays. After the last
// span has been heard, releases the output, as a drive stops after the last
// track.
void feed_pcm();

// Silences and releases the sound output and the decoders at once, for the end
// of the run; nothing when nothing plays. False when SDL's thread is stalled
// in a sound output that no longer takes audio and has been left to it: the
// process must then end without exit's clean-up, which that thread could meet.
bool stop_pcm();
