// Input and output faults for the tests, preloaded into cputest. Each acts
// only when its variable is set:
//   FAULTY_IO_READ_ERROR_AT=N   reads fail with EIO from byte N of a file on
//   FAULTY_IO_READ_END_AT=N     reads find the end at byte N (the file shrank)
//   FAULTY_IO_READ_PAUSE=PATH   the first read creates PATH, then waits up to
//                               ten seconds or until a signal arrives
//   FAULTY_IO_NONBLOCKING_STDOUT=1
//                               standard output is made non-blocking at start
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

// The byte offset named by a variable, or -1.
off_t offset_from(const char* name) {
  const char* const value = std::getenv(name);
  return value != nullptr ? std::strtoll(value, nullptr, 10) : -1;
}

void pause_once() {
  static bool paused = false;
  const char* const marker = std::getenv("FAULTY_IO_READ_PAUSE");
  if (marker == nullptr || paused) return;
  paused = true;
  close(open(marker, O_WRONLY | O_CREAT, 0644));
  const timespec ten_seconds{10, 0};
  nanosleep(&ten_seconds, nullptr);
}

[[gnu::constructor]] void make_stdout_nonblocking() {
  if (std::getenv("FAULTY_IO_NONBLOCKING_STDOUT") != nullptr)
    fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
}

}  // namespace

extern "C" ssize_t read(int fd, void* bytes, std::size_t size) {
  using read_function = ssize_t (*)(int, void*, std::size_t);
  static const auto next = reinterpret_cast<read_function>(dlsym(RTLD_NEXT, "read"));
  pause_once();
  const off_t error_at = offset_from("FAULTY_IO_READ_ERROR_AT");
  const off_t end_at = offset_from("FAULTY_IO_READ_END_AT");
  const off_t at = lseek(fd, 0, SEEK_CUR);  // -1 for pipes and terminals
  if (at >= 0) {
    const off_t stop = error_at >= 0 ? error_at : end_at;
    if (stop >= 0 && at >= stop) {
      if (error_at < 0) return 0;
      errno = EIO;
      return -1;
    }
    if (stop >= 0 && static_cast<off_t>(size) > stop - at) size = static_cast<std::size_t>(stop - at);
  }
  return next(fd, bytes, size);
}
