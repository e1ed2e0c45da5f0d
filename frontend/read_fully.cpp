#include "read_fully.h"

#include <unistd.h>

#include <cerrno>

#include "breaks.h"

ssize_t read_fully(int fd, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = breakable([&] { return read(fd, buffer + done, size - done); });
    if (got == 0) break;
    if (got < 0) {
      // Any signal but a break only cut the wait short.
      if (errno == EINTR && !break_caught()) continue;
      return -1;
    }
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}
