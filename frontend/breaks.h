// Breaks (SIGINT, SIGTERM and SIGHUP). The break handler, crtlc, only records
// the signal. The program lets breaks in around the calls that wait on the
// device, and once one has come every function on the way returns at once,
// reporting nothing, up to main, which ends the run with the break sequence.
#pragma once

#include <cerrno>

// Has breaks recorded for the main thread, and a reader that goes away fail
// the write instead of ending the process. The first thing a run does.
void install_break_handler();

// Breaks are held off while the program writes, so that a break never cuts a
// write short, and let in only around the calls that wait on the device.
void allow_break();
void hold_break();

// Whether a break has come.
bool break_caught();

// A step boundary: lets in a break that is waiting. Whether one has come.
inline bool break_point() {
  allow_break();
  hold_break();
  return break_caught();
}

// Runs a call that may wait on the device (open, read, a drive request, the
// spinner's sleep) with breaks let in, so that a break ends the wait early.
// After a break the call is not made: it fails at once with EINTR.
template <typename Call>
auto breakable(Call call) {
  using result = decltype(call());
  allow_break();
  if (break_caught()) {
    hold_break();
    errno = EINTR;
    return static_cast<result>(-1);
  }
  const result outcome = call();
  hold_break();
  return outcome;
}

// For the end of a run, which may wait on the drive's stop request: a break
// from here on ends the process at once with `status`.
void end_at_next_break(int status);
