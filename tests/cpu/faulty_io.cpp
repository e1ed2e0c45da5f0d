// Faults for the tests, preloaded into cputest. Each acts only when its
// variable is set:
//   FAULTY_IO_READ_ERROR_AT=N   reads of a file fail with EIO from byte N on
//   FAULTY_IO_READ_PAUSE=PATH   the first read creates PATH, then waits up to
//                               ten seconds or until a signal arrives
//   FAULTY_IO_NONBLOCKING_STDOUT=1
//                               standard output is made non-blocking at start
//   FAULTY_IO_WRITE_SIGNAL=N    the first write to standard output sends signal
//                               N to the process, then waits 300 ms to write
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

[[gnu::constructor]] void make_stdout_nonblocking() {
  if (std::getenv("FAULTY_IO_NONBLOCKING_STDOUT") != nullptr)
    fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
}

void pause_once() {
  static const char* marker = std::getenv("FAULTY_IO_READ_PAUSE");
  if (marker == nullptr) return;
  // The test signals as soon as the marker exists: signals stay blocked from
  // before it is made until ppoll lets them in, so one that comes in between
  // still ends the wait instead of leaving the whole ten seconds to sleep.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &previous);
  close(open(marker, O_WRONLY | O_CREAT, 0644));
  marker = nullptr;
  const timespec ten_seconds{10, 0};
  ppoll(nullptr, 0, &ten_seconds, &previous);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

extern "C" ssize_t read(int fd, void* bytes, std::size_t size) {
  using read_function = ssize_t (*)(int, void*, std::size_t);
  static const auto next = reinterpret_cast<read_function>(dlsym(RTLD_NEXT, "read"));
  pause_once();
  const char* const error_at = std::getenv("FAULTY_IO_READ_ERROR_AT");
  const off_t at = lseek(fd, 0, SEEK_CUR);  // -1 for pipes and terminals
  if (error_at != nullptr && at >= 0) {
    const off_t stop = std::strtoll(error_at, nullptr, 10);
    if (at >= stop) {
      errno = EIO;
      return -1;
    }
    if (static_cast<off_t>(size) > stop - at) size = static_cast<std::size_t>(stop - at);
  }
  return next(fd, bytes, size);
}

extern "C" ssize_t write(int fd, const void* bytes, std::size_t size) {
  static const char* signal_number = std::getenv("FAULTY_IO_WRITE_SIGNAL");
  if (fd == STDOUT_FILENO && signal_number != nullptr) {
    kill(getpid(), std::atoi(signal_number));
    signal_number = nullptr;
    const timespec pause{0, 300'000'000};
    nanosleep(&pause, nullptr);
  }
  using write_function = ssize_t (*)(int, const void*, std::size_t);
  static const auto next = reinterpret_cast<write_function>(dlsym(RTLD_NEXT, "write"));
  return next(fd, bytes, size);
}
