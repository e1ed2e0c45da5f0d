// A CD drive for the tests. Preloaded into ruvo, it answers the request for
// the drive's capabilities (so every descriptor is a drive) and accepts the
// play and stop requests whatever the descriptor is, and appends one line per
// play or stop request to the file named by FAKE_CDROM_LOG:
//   play <start track>/<start index>/<end track>/<end index>
//   stop
// Every other request goes on to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

void log_request(const char* line, int length) {
  const char* const path = std::getenv("FAKE_CDROM_LOG");
  if (path == nullptr || length <= 0) return;
  const int log = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (log < 0) return;
  [[maybe_unused]] const ssize_t ignored = write(log, line, static_cast<std::size_t>(length));
  close(log);
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
  if (request == CDROMSTOP) {
    log_request("stop\n", 5);
    return 0;
  }
  if (request == CDROM_GET_CAPABILITY) return CDC_PLAY_AUDIO;
  std::va_list args;
  va_start(args, request);
  void* const argument = va_arg(args, void*);
  va_end(args);
  if (request == CDROMPLAYTRKIND) {
    const auto* ti = static_cast<const cdrom_ti*>(argument);
    char line[64];
    log_request(line, std::snprintf(line, sizeof line, "play %d/%d/%d/%d\n", ti->cdti_trk0,
                                    ti->cdti_ind0, ti->cdti_trk1, ti->cdti_ind1));
    return 0;
  }
  using ioctl_function = int (*)(int, unsigned long, ...);
  static const auto next = reinterpret_cast<ioctl_function>(dlsym(RTLD_NEXT, "ioctl"));
  return next(fd, request, argument);
}
