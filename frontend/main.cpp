// ruvo: the disc front end. Reads the initial-program area of a Saturn disc,
// tests and lists its header, and can have the drive play the disc's audio.
#include <unistd.h>

#include "bios.h"
#include "breaks.h"
#include "disc_source.h"
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
// heard after it, and the image's files are closed; the message goes out
// after everything printed before it, and then the drive, if it is open, is
// stopped and closed. A run whose output was lost is one that stopped early,
// and what -m started stops. A break message that a blocked output does not
// take in time is given up, and the process ends by the break's signal once
// the drive has been stopped.
int finish(int status) {
  const bool broken = break_caught();
  const bool released = stop_pcm();
  close_disc_source();
  if (broken) {
    put_text("Break Caught...Exiting...\n");
    status = 1;
  }
  const int written = flush_last_output();
  if (written == 0) status = 0;
  if (written >= 0) end_at_next_break(status);
  if (broken || audio_playing) stop_drive();
  if (written < 0) end_by_break();
  // SDL's thread, stalled in the sound output, must not meet exit's clean-up.
  if (!released) _exit(status);
  remove_break_handler();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  install_break_handler();
  program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "ruvo";
  intro();
  if (break_caught() || parse_options(argc, argv) != 1) return finish(0);
  if (break_caught()) return finish(0);
  return finish(emulate_bios(user_cddevice == 1 ? cddevice.c_str() : default_cddevice));
}
