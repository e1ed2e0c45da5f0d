#include "output.h"

#include <cerrno>

namespace out {

void flush() { std::fflush(stdout); }

int start(void (*on_stop)()) {
  report_stop = on_stop;
  return 0;
}

int finish() { return std::fflush(stdout) == 0 ? 0 : errno; }

}  // namespace out
