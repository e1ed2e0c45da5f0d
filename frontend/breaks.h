// Breaks (SIGINT, SIGTERM and SIGHUP). They are blocked in every thread and
// taken by a thread of their own, crtlc, so that nothing the main thread
// waits on (a drive, standard output, the sound output) can hold one off.
// crtlc records the first break and interrupts the main thread's wait; every
// function on the way then returns at once, reporting nothing, up to main,
// which ends the run with the break sequence. Should the run still not have
// ended shortly after the break, or should a second break come, crtlc ends
// the process itself.
//
// A break ends the process with the run's status once the run has settled it
// (end_at_next_break), that is once the break message and everything before
// it have been written; before that, by the signal, so that the shell knows
// the run was cut short without its last words.
#pragma once

#include <cerrno>
#include <chrono>
#include <functional>

// Has breaks taken by crtlc, and a reader that goes away fail the write
// instead of ending the process. The first thing a run does, before any
// other thread is started.
void install_break_handler();

// The main thread's waits are interrupted only while let in, around the calls
// that may wait (see breakable), so that a break never lands elsewhere.
void allow_break();
void hold_break();

// Whether a break has come.
bool break_caught();

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

// After a break, whether the end of the run may still wait for standard
// output to take the lines before the break message and the message itself:
// for half a second after the break. True while no break has come.
bool output_may_wait();

// The run's status is settled and its output written: a break from here on
// (a drive that hangs on the stop request) ends the process at once with
// `status`, and so does the time limit of a break that came before.
void end_at_next_break(int status);

// Runs a call that may wait for good (on a sound output or a drive that has
// stopped answering) on a thread of its own, and waits for it at most
// `limit`: whether it has returned. One that has not is left to itself, and
// the process must then end without exit's clean-up (_exit), which it could
// meet.
bool run_briefly(std::function<void()> call, std::chrono::milliseconds limit);

// The request that a break must still have made should it end the process
// before the run has settled (asking a playing drive to stop): made then on a
// thread of its own, waited for at most a tenth of a second.
void before_an_early_end(void (*request)());

// Ends the process by the signal of the break, for a run that could not
// write its break message in time.
[[noreturn]] void end_by_break();

// For a run that has ended and is about to return from main: crtlc stops,
// leaving nothing of its own to exit, and a break from here on is dropped
// with the process.
void remove_break_handler();
