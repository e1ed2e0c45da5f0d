#include "bios.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstddef>

#include "breaks.h"
#include "disc_source.h"
#include "error.h"
#include "header.h"
#include "options.h"
#include "output.h"
#include "pcm_player.h"

int saturn_cdrom = -1;
bool audio_playing = false;

namespace {

// The open device until its stop request has been sent, once: by the end of
// the run, or by crtlc's thread when a break ends the process before that
// (see breaks.h).
std::atomic<int> drive_to_stop = -1;

void request_stop() {
  if (const int drive = drive_to_stop.exchange(-1); drive >= 0) ioctl(drive, CDROMSTOP);
}

// The spinner's frames in the order they show, one a second.
constexpr std::array<char, 4> spinner_frames = {'\\', '|', '/', '-'};

// The play prompt, then a spinner frame once a second until a break or lost
// output. each_second, unless null, runs after every frame: playing from an
// image, it keeps the sound output fed.
void spin_until_break(void (*each_second)()) {
  if (break_caught()) return;
  put_text("Press Control-C to break play.\n");
  for (std::size_t frame = 0;; frame = (frame + 1) % spinner_frames.size()) {
    put_format("%c\r", spinner_frames[frame]);
    // A terminal that has gone or a reader that has left: the audio must not
    // play on unseen.
    if (flush_output() != 1) return;
    if (each_second != nullptr) each_second();
    breakable([] { return sleep(1); });
    if (break_caught()) return;
  }
}

// -m: has the drive play the disc's audio from track 2 (see
// cdrom_play_track), plays an image's audio tracks from track 2 on through
// the sound output, or refuses, after its message, for an image without
// them. Returns when refused, with 0, or once the spinner stops.
int play_audio(const char* device) {
  switch (current_disc.kind) {
    case disc_kind::drive:
      return cdrom_play_track(2);
    case disc_kind::data_image:
      return refuse_audio(device);
    case disc_kind::audio_image:
      break;
  }
  if (start_pcm(disc_audio()) != 1) return 0;
  audio_playing = true;
  spin_until_break(feed_pcm);
  return 1;
}

}  // namespace

int emulate_bios(const char* device) {
  // A break during a blocking open (a FIFO, a slow drive) makes it fail with
  // EINTR; breakable() acts on that break before the failure is looked at.
  saturn_cdrom = breakable([device] { return open(device, O_RDONLY); });
  if (saturn_cdrom < 0) return error("CD Device %s cannot be opened!\n", device);
  drive_to_stop = saturn_cdrom;

  if (open_disc_source(saturn_cdrom, device) != 1) return 0;
  if (read_header() != 1) return 0;
  if (validify_header() != 1) return 0;
  if (break_caught()) return 0;

  if (show_cdrom_info) {
    display_header();
    return 1;
  }
  put_text("Playing game \"");
  put_disc_text(game_title());
  put_text("\".\nNo CPU emulation has began.\n");
  if (!play_music) return 1;
  // Output that is already lost ends the run here, before the drive starts.
  if (flush_output() != 1) return 0;
  play_audio(device);
  return 1;
}

int cdrom_play_track(std::uint8_t start_track) {
  cdrom_ti request{};
  request.cdti_trk0 = start_track;
  request.cdti_ind0 = 1;
  request.cdti_trk1 = static_cast<std::uint8_t>(start_track + 10);
  // The highest index a track can have: a drive plays an end index larger than
  // the track's last one (or an end track past the last) to the end of the track.
  request.cdti_ind1 = 99;
  // A break may end the process before the request has been answered.
  before_an_early_end(request_stop);
  if (breakable([&request] { return ioctl(saturn_cdrom, CDROMPLAYTRKIND, &request); }) < 0)
    return error("Sorry, CD Music cannot be played.\n");
  // A break during the request may have come after the drive took it.
  audio_playing = true;
  spin_until_break(nullptr);
  return 1;
}

void stop_drive() {
  if (saturn_cdrom < 0) return;
  request_stop();
  close(saturn_cdrom);
  saturn_cdrom = -1;
}
