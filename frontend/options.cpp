#include "options.h"

#include "error.h"
#include "output.h"

int show_cdrom_info = 0;
int play_music = 0;
int user_cddevice = 0;
std::string cddevice;
std::string program_name;

namespace {

void help() {
  put_format("Usage: %s [-<mhi>] <-d device>\n", program_name.c_str());
  put_format("  -d device  -  Set the CD Device to <device>. Default is %s\n", default_cddevice);
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
