// ruvo: the disc front end. Reads the initial-program area of a Saturn disc,
// tests and lists its header, and can have the drive play the disc's audio.
#include "bios.h"
#include "breaks.h"
#include "options.h"
#include "output.h"

namespace {

void intro() {
  put_text("ruvo v0.1.4 by the ruvo developers\n");
  put_text("Use -h for help\n\n");
}

// The last step boundary: a break that came in at any moment after the
// handler was installed still ends the run with the break sequence. Output
// that was lost on the way makes the run one that stopped early.
int finish(int status) {
  break_point();
  return flush_output() == 1 ? status : 0;
}

}  // namespace

int main(int argc, char** argv) {
  install_break_handler();
  // From here on breaks are held while the program writes and let in at the
  // step boundaries and around the waits on the device (see breaks.h).
  hold_break();
  program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "ruvo";
  intro();
  break_point();
  if (parse_options(argc, argv) != 1) return finish(0);
  break_point();
  return finish(emulate_bios(user_cddevice == 1 ? cddevice.c_str() : "/dev/cdrom"));
}
