// ruvo: the disc front end. Reads the initial-program area of a Saturn disc,
// tests and lists its header, and can have the drive play the disc's audio.
#include "bios.h"
#include "breaks.h"
#include "options.h"
#include "output.h"
#include "pcm_player.h"

namespace {

void intro() {
  put_text("ruvo v" RUVO_VERSION " by the ruvo developers\n");
  put_text("Use -h for help\n\n");
}

// The end of every run, and the last step boundary: a break that came at any
// moment after the handler was installed ends the run with the break
// sequence. An image's audio falls silent before the message, so none is
// heard after it; the message goes out after everything printed before it,
// and then the drive, if it is open, is stopped and closed. A run whose
// output was lost is one that stopped early, and what -m started stops.
int finish(int status) {
  const bool broken = break_point();
  if (broken) {
    stop_pcm();
    put_text("Break Caught...Exiting...\n");
    status = 1;
  }
  if (flush_output() != 1) status = 0;
  if (broken || audio_playing) {
    end_at_next_break(status);
    stop_pcm();
    stop_drive();
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  install_break_handler();
  // From here on breaks are held while the program writes and let in at the
  // step boundaries and around the waits on the device (see breaks.h).
  hold_break();
  program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "ruvo";
  intro();
  if (break_point() || parse_options(argc, argv) != 1) return finish(0);
  if (break_point()) return finish(0);
  return finish(emulate_bios(user_cddevice == 1 ? cddevice.c_str() : default_cddevice));
}
