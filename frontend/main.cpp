// ruvo: the disc front end. Reads the initial-program area of a Saturn disc,
// tests and lists its header, and can have the drive play the disc's audio.
#include "main.h"

#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bios.h"
#include "error.h"
#include "output.h"
#include "pcm_player.h"

int show_cdrom_info = 0;
int play_music = 0;
int user_cddevice = 0;
std::string cddevice;
std::string program_name;

namespace {

volatile std::sig_atomic_t break_signal = 0;
// The exit status for a break that comes while the drive is being stopped.
volatile std::sig_atomic_t status_at_once = 1;

constexpr std::array<int, 3> break_signal_numbers = {SIGINT, SIGTERM, SIGHUP};

constexpr std::array<const char*, 12> month_names = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
};

sigset_t break_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : break_signal_numbers) sigaddset(&set, signal_number);
  return set;
}

// The break sequence, on the main thread: the message goes out after
// everything printed before it, then the drive is stopped and closed if it is open.
[[noreturn]] void break_exit() {
  // A second break must not cut these writes short either.
  const sigset_t set = break_signals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  // An image's audio falls silent before the message: none is heard after it.
  stop_pcm();
  put_text("Break Caught...Exiting...\n");
  // A break ends a run that went through, unless its message was lost.
  stop_drive_and_exit(flush_output() == 1 ? 1 : 0);
}

void check_break() {
  if (break_signal != 0) break_exit();
}

// The last step boundary: a break that came in at any moment after the
// handler was installed still ends the run with the break sequence. Output
// that was lost on the way makes the run one that stopped early.
int finish(int status) {
  break_point();
  return flush_output() == 1 ? status : 0;
}

// Only records the signal: printing, stopping the drive and exiting are not safe
// inside a handler, so the main thread does them when it next looks.
void crtlc(int signal_number) { break_signal = signal_number; }

// Everything has been written when this can run, so nothing is lost by
// leaving without the exit path.
void exit_at_once(int) { _exit(status_at_once); }

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

void intro() {
  put_text("ruvo v0.1.4 by the ruvo developers\n");
  put_text("Use -h for help\n\n");
}

void help() {
  put_format("Usage: %s [-<mhi>] <-d device>\n", program_name.c_str());
  put_text("  -d device  -  Set the CD Device to <device>. Default is /dev/cdrom\n");
  put_text("  -i         -  Show CDROM header and quit\n");
  put_text("  -m         -  Play CDROM Music (CD Audio)\n");
  put_text("  -h         -  Show this help\n");
}

}  // namespace

int parse_options(int argc, char** argv) {
  for (int arg = 1; arg < argc; ++arg) {
    const char* const group = argv[arg];
    if (group[0] != '-' || group[1] == '\0') continue;
    for (const char* letter = group + 1; *letter != '\0'; ++letter) {
      switch (*letter) {
        case 'h':
          help();
          return 0;
        case 'i':
          show_cdrom_info = 1;
          break;
        case 'm':
          play_music = 1;
          break;
        case 'd':
          // The path is the next argument, taken whole; the rest of this group
          // still counts, so "-dm path" and "-dd first second" work.
          if (arg + 1 >= argc) {
            help();
            return 0;
          }
          user_cddevice = 1;
          cddevice = argv[++arg];
          break;
        default:
          return error("Unknown option '%c'\n", *letter);
      }
    }
  }
  return 1;
}

void allow_break() {
  const sigset_t set = break_signals();
  // A break waiting while the signals were held runs crtlc before this returns.
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  check_break();
}

void hold_break() {
  const sigset_t set = break_signals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  check_break();
}

void stop_drive_and_exit(int status) {
  // A drive can hang on the stop request. A second break then ends the process
  // at once, with the same status; one that came while the breaks were held is
  // dropped first (ignoring a signal discards it), so it cannot skip the request.
  status_at_once = status;
  stop_pcm();
  for (const int signal_number : break_signal_numbers) {
    struct sigaction action {};
    sigaction(signal_number, nullptr, &action);
    if (action.sa_handler != crtlc) continue;
    action.sa_handler = SIG_IGN;
    sigaction(signal_number, &action, nullptr);
    action.sa_handler = exit_at_once;
    sigaction(signal_number, &action, nullptr);
  }
  const sigset_t set = break_signals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  if (saturn_cdrom >= 0) {
    ioctl(saturn_cdrom, CDROMSTOP);
    close(saturn_cdrom);
  }
  std::exit(status);
}

std::string_view fmttitle(const char* text, std::size_t room) {
  std::size_t end = 0;
  while (end < room && text[end] != '\0') ++end;
  while (end > 0 && text[end - 1] == ' ') --end;
  return {text, end};
}

const char* strnchr(const char* start, int c, int n) {
  for (int i = 0; i < n; ++i)
    if (start[i] == static_cast<char>(c)) return start + i;
  return nullptr;
}

std::string strdate(const char* date) {
  char year[5] = {}, month[3] = {}, day[3] = {};
  std::memcpy(year, date, 4);
  std::memcpy(month, date + 4, 2);
  std::memcpy(day, date + 6, 2);
  const long month_number = std::strtol(month, nullptr, 10);
  const char* const month_name = month_number >= 1 && month_number <= 12
                                     ? month_names[static_cast<std::size_t>(month_number - 1)]
                                     : "???";
  char text[32];
  std::snprintf(text, sizeof text, "%s %ld, %ld", month_name, std::strtol(day, nullptr, 10),
                std::strtol(year, nullptr, 10));
  return text;
}

int main(int argc, char** argv) {
  install_break_handler();
  // From here on breaks are held while the program writes and let in at the
  // step boundaries and around the waits on the device (see main.h).
  hold_break();
  program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "ruvo";
  intro();
  break_point();
  if (parse_options(argc, argv) != 1) return finish(0);
  break_point();
  return finish(emulate_bios(user_cddevice == 1 ? cddevice.c_str() : "/dev/cdrom"));
}
