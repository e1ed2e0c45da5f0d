#include "breaks.h"

#include <unistd.h>

#include <array>
#include <csignal>

namespace {

volatile std::sig_atomic_t break_signal = 0;
// The exit status for a break that comes while the run ends.
volatile std::sig_atomic_t status_at_once = 1;

constexpr std::array<int, 3> break_signal_numbers = {SIGINT, SIGTERM, SIGHUP};

sigset_t break_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : break_signal_numbers) sigaddset(&set, signal_number);
  return set;
}

// Only records the signal: printing, stopping the drive and exiting are not
// safe inside a handler, so the main thread does them on its way out.
void crtlc(int signal_number) { break_signal = signal_number; }

// Everything has been written when this can run, so nothing is lost by
// leaving without the exit path.
void exit_at_once(int) { _exit(status_at_once); }

}  // namespace

void install_break_handler() {
  struct sigaction action {};
  action.sa_handler = crtlc;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking open or read of the device and the spinner's
  // sleep must return early so the break is acted on at once.
  action.sa_flags = 0;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  // A closed terminal ends the run like a break, unless ruvo was started to
  // outlive it (nohup leaves SIGHUP ignored).
  struct sigaction hangup {};
  sigaction(SIGHUP, nullptr, &hangup);
  if (hangup.sa_handler != SIG_IGN) sigaction(SIGHUP, &action, nullptr);
  // A reader that goes away makes the write fail instead of ending the
  // process, so the drive is still stopped.
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
}

void allow_break() {
  const sigset_t set = break_signals();
  // A break waiting while the signals were held runs crtlc before this returns.
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void hold_break() {
  const sigset_t set = break_signals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

bool break_caught() { return break_signal != 0; }

void end_at_next_break(int status) {
  // A drive can hang on the stop request. A break then ends the process at
  // once, with the same status; one that came while the breaks were held is
  // dropped first (ignoring a signal discards it), so it cannot skip the request.
  status_at_once = status;
  for (const int signal_number : break_signal_numbers) {
    struct sigaction action {};
    sigaction(signal_number, nullptr, &action);
    if (action.sa_handler != crtlc) continue;
    action.sa_handler = SIG_IGN;
    sigaction(signal_number, &action, nullptr);
    action.sa_handler = exit_at_once;
    sigaction(signal_number, &action, nullptr);
  }
  allow_break();
}
