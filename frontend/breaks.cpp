#include "breaks.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <system_error>
#include <thread>

namespace {

using clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// From the first break: how long the end of the run may wait for standard
// output, and when crtlc ends the process whatever the run is doing. Both
// leave room for the process to go within a second of the break.
constexpr auto output_wait = 500ms;
constexpr auto end_limit = 750ms;
// How long a process that a break ends early waits for its last request.
constexpr auto request_wait = 100ms;
constexpr auto poll_interval = 5ms;
// How often crtlc interrupts the main thread's wait until the run has settled:
// a break that comes just after the main thread looked for one, and just
// before it started to wait, is seen by the next interruption.
constexpr auto wake_interval = 20ms;

std::atomic<int> break_signal = 0;
std::atomic<clock::rep> break_time = 0;
// The run's status once settled (end_at_next_break), else -1.
std::atomic<int> settled_status = -1;

pthread_t main_thread;
pthread_t break_thread;
bool break_thread_started = false;
sigset_t break_signals;
// Interrupts a wait of the main thread; a real-time signal, which nothing
// sends ruvo otherwise. 0 until the handler is installed.
int wake_signal = 0;

// Only has the wait it lands in end early (no SA_RESTART).
void wake(int) {}

// A thread that some library started with breaks let in may take one: crtlc
// is given it.
void forward(int signal_number) { pthread_kill(break_thread, signal_number); }

void set_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(signal_number, &action, nullptr);
}

// The set of the one signal; empty for 0.
sigset_t only(int signal_number) {
  sigset_t set;
  sigemptyset(&set);
  if (signal_number != 0) sigaddset(&set, signal_number);
  return set;
}

[[noreturn]] void end_by(int signal_number) {
  set_handler(signal_number, SIG_DFL);
  const sigset_t set = only(signal_number);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

std::atomic<void (*)()> last_request = nullptr;

void make_last_request() {
  if (void (*const request)() = last_request.exchange(nullptr); request != nullptr)
    run_briefly(request, request_wait);
}

// Everything the run had to write has been written when its status is
// settled, so nothing is lost by leaving without the exit path.
[[noreturn]] void end_process(int signal_number) {
  make_last_request();
  const int status = settled_status;
  if (status >= 0) _exit(status);
  end_by(signal_number);
}

// The next break, waiting at most `timeout`; 0 when none came.
int next_break(clock::duration timeout) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec limit{static_cast<time_t>(seconds.count()),
                       static_cast<long>((timeout - seconds) / 1ns)};
  const int taken = sigtimedwait(&break_signals, nullptr, &limit);
  return taken > 0 ? taken : 0;
}

// The break handler: the one thread that takes breaks.
void* crtlc(void*) {
  int first = 0;
  while (first <= 0) first = sigwaitinfo(&break_signals, nullptr);
  if (settled_status >= 0) end_process(first);
  const auto now = clock::now();
  break_time = now.time_since_epoch().count();
  break_signal = first;
  const auto limit = now + end_limit;
  for (;;) {
    if (settled_status < 0) pthread_kill(main_thread, wake_signal);
    const auto left = limit - clock::now();
    if (left <= clock::duration::zero()) end_process(first);
    if (const int second = next_break(std::min<clock::duration>(wake_interval, left)); second != 0)
      end_process(second);
  }
}

}  // namespace

void install_break_handler() {
  main_thread = pthread_self();
  wake_signal = SIGRTMIN;
  sigemptyset(&break_signals);
  sigaddset(&break_signals, SIGINT);
  sigaddset(&break_signals, SIGTERM);
  // A closed terminal ends the run like a break, unless ruvo was started to
  // outlive it (nohup leaves SIGHUP ignored, and an ignored signal that is
  // not blocked is dropped).
  struct sigaction hangup {};
  sigaction(SIGHUP, nullptr, &hangup);
  if (hangup.sa_handler != SIG_IGN) sigaddset(&break_signals, SIGHUP);
  // Blocked before any thread starts, so that every thread inherits it.
  sigset_t held = break_signals;
  sigaddset(&held, wake_signal);
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
  // A reader that goes away makes the write fail instead of ending the
  // process, so the drive is still stopped.
  set_handler(SIGPIPE, SIG_IGN);
  set_handler(wake_signal, wake);
  break_thread_started = pthread_create(&break_thread, nullptr, crtlc, nullptr) == 0;
  if (!break_thread_started) {
    // Without crtlc a break still ends the run, by its signal.
    pthread_sigmask(SIG_UNBLOCK, &break_signals, nullptr);
    return;
  }
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
    if (sigismember(&break_signals, signal_number) == 1) set_handler(signal_number, forward);
}

void allow_break() {
  const sigset_t set = only(wake_signal);
  // An interruption waiting while held lands here, before the call is made.
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void hold_break() {
  const sigset_t set = only(wake_signal);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool break_caught() { return break_signal != 0; }

bool output_may_wait() {
  if (break_signal == 0) return true;
  return clock::now() - clock::time_point(clock::duration(break_time)) < output_wait;
}

void end_at_next_break(int status) { settled_status = status; }

void before_an_early_end(void (*request)()) { last_request = request; }

void end_by_break() { end_by(break_signal); }

void remove_break_handler() {
  if (!break_thread_started) return;
  // Its waits for breaks are points where it may be cancelled.
  pthread_cancel(break_thread);
  pthread_join(break_thread, nullptr);
  break_thread_started = false;
}

bool run_briefly(std::function<void()> call, std::chrono::milliseconds limit) {
  const auto done = std::make_shared<std::atomic<bool>>(false);
  try {
    std::thread([call = std::move(call), done] {
      call();
      *done = true;
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  for (auto waited = 0ms; !*done && waited < limit; waited += poll_interval)
    std::this_thread::sleep_for(poll_interval);
  return *done;
}
