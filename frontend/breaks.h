// Breaks (SIGINT, SIGTERM and SIGHUP) and the way a run that may have the
// drive playing ends.
#pragma once

// Has the breaks recorded by the break handler, crtlc, for the main thread to
// act on, and a reader that goes away fail the write instead of ending the
// process. The first thing a run does.
void install_break_handler();

// The breaks are held off while the program writes, so that a break never cuts
// a write short, and let in only around the calls that wait on the device.
// Either function runs the break sequence, which does not return, as soon as
// it sees a break.
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

// Silences an image's audio, sends the drive, if it is open, the stop request
// and closes it, then ends the process with status. A break while the request
// waits ends it at once.
[[noreturn]] void stop_drive_and_exit(int status);
