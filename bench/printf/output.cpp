#include "output.h"

namespace out {

void flush() { std::fflush(stdout); }

// Standard output is flushed when the process ends.
void start() {}

}  // namespace out
