// Shared pieces of the tests that have ruvo play: the spinner's output, and
// an image's audio played through SDL's disk output, a file that grows in real
// time as a sound card would play.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

namespace ruvo_test {

inline const std::string prompt = "Press Control-C to break play.\n";

// The output is `lead`, then at least that many spinner frames (backslash,
// "|", "/", "-" over and over, each followed by a carriage return), then the
// break message.
testing::AssertionResult spins_until_break(const std::string& out, const std::string& lead,
                                           std::size_t at_least);

// An image with audio tracks: -d names `disc`, in its own folder `dir`.
struct audio_image {
  std::string dir, disc, title;
  std::string played;  // what the sound output must get, in order
};

// The output is silence (SDL plays it while the output opens, paused), then
// `expected` from its start, whole and followed by silence, or cut short.
bool played(const std::string& output, const std::string& expected, bool whole);

// Plays the image through SDL's disk output until the spinner has shown
// `frames` and what has been played satisfies `done` (half a second later,
// without it), then breaks with `signal`. What had been played when the break
// message came; the run must have ended as a break does, with nothing played
// after the message, and with nothing on standard error unless `err` is given
// to take it.
std::string play_until_break(const audio_image& image, const std::string& frames, int signal,
                             const std::function<bool(const std::string&)>& done,
                             std::string* err = nullptr);

}  // namespace ruvo_test
