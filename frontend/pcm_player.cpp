// The CD audio player for images, on SDL2: SDL finds whatever sound output the
// system has (PipeWire, PulseAudio, ALSA, ...) and converts the CD format to
// what it takes. ruvo keeps a few seconds of audio queued from the main thread,
// once a second as the spinner turns; SDL's own thread plays the queue out.
//
// Breaks: SDL and the sound libraries under it start their threads after
// breaks were blocked in every thread (see breaks.h), so they never take one.
// Opening the output is a wait like the drive's (a sound server that does not
// answer, SDL's disk output into a FIFO without a reader), and a break ends
// it. Closing the output waits for SDL's thread, which a stalled sound output
// (a server that has stopped reading, a full pipe) holds in its write for
// good: the close runs on a thread of its own, waited for only briefly.
// SDL is asked to install no signal handlers of its own.
#include "pcm_player.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "audio_file.h"
#include "breaks.h"
#include "error.h"
#include "raw_sector.h"

namespace {

constexpr int cd_frame_rate = raw_sector::audio_rate;
constexpr std::uint64_t frame_bytes = raw_sector::audio_frame_bytes;
constexpr std::uint32_t bytes_a_second = cd_frame_rate * frame_bytes;

// The queue is topped up once a second to this much: two seconds to spare ride
// out a slow disk or a busy machine.
constexpr std::uint32_t queue_ahead = 3 * bytes_a_second;

// 46 ms a buffer: a break silences the output within a buffer or two, and a
// busy machine does not make it stutter.
constexpr Uint16 buffer_frames = 2048;

struct pcm_playback {
  std::vector<pcm_span> spans;
  std::vector<int> decoded;  // per span: an audio file's decoder slot, else -1
  std::size_t span = 0;      // the span being queued
  std::uint64_t queued = 0;  // bytes of CD audio of that span queued so far
  bool sdl_started = false;
  SDL_AudioDeviceID output = 0;  // 0 while no output is open
  bool ran_dry = false;          // all was queued and played out at the last tick
  bool left_behind = false;      // SDL's thread, stalled in the output, was left to itself
};

pcm_playback playback;

std::array<char, 65536> chunk;

// How long the end of playing waits for the output to close: SDL's thread
// finishes the buffer it plays (buffer_frames) and is gone.
constexpr auto close_wait = std::chrono::milliseconds(250);

// Silences and closes the output and shuts SDL down (see above); false when
// that is left to itself.
bool close_output() {
  const SDL_AudioDeviceID output = playback.output;
  playback.output = 0;
  if (!playback.sdl_started) return true;
  playback.sdl_started = false;
  return run_briefly(
      [output] {
        if (output != 0) {
          // Should the close wait for a stalled output, what the output plays
          // when it moves again is silence.
          SDL_PauseAudioDevice(output, 1);
          SDL_ClearQueuedAudio(output);
          SDL_CloseAudioDevice(output);
        }
        SDL_Quit();
      },
      close_wait);
}

void release() {
  close_audio_files();
  playback.decoded.clear();
  if (!close_output()) playback.left_behind = true;
}

// Looks at every span's file, and starts the audio files' decoders, before
// anything plays, so that a missing track is reported at once rather than
// heard as silence later.
int check_files() {
  for (const pcm_span& span : playback.spans) {
    if (span.file < 0 && !span.path.empty())
      return error("Sorry, CD Music cannot be played: %s cannot be read.\n", span.path.c_str());
    playback.decoded.push_back(span.kind == file_kind::audio_file ? open_audio_file(span) : -1);
    if (span.kind == file_kind::audio_file && playback.decoded.back() < 0) return 0;
  }
  return 1;
}

// The CD audio a span holds: the first 2352 bytes of each stored sector, and
// of a last one cut short what it has of them.
std::uint64_t audio_bytes(const pcm_span& span) {
  if (span.kind == file_kind::audio_file || span.stride == raw_sector::size) return span.length;
  return span.length / span.stride * raw_sector::size +
         std::min<std::uint64_t>(span.length % span.stride, raw_sector::size);
}

// libasound reports a machine without a sound card on standard error, a dozen
// lines of its own, before SDL gives up on it; the user gets ruvo's one message
// with SDL's reason instead. Standard error goes to /dev/null while SDL looks
// for an output, and comes back here.
int hide_standard_error() {
  const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
  if (null >= 0) close(null);
  return saved;
}

void restore_standard_error(int saved) {
  if (saved < 0) return;
  dup2(saved, STDERR_FILENO);
  close(saved);
}

// Opens the system's default sound output, paused, for CD audio. 0 after the
// message when there is none.
int open_output() {
  // SDL would otherwise catch SIGINT and SIGTERM itself; breaks are ruvo's.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // What sound servers show in their mixers.
  SDL_SetHint(SDL_HINT_APP_NAME, "ruvo");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "CD audio");

  SDL_AudioSpec wanted{};
  wanted.freq = cd_frame_rate;
  wanted.format = AUDIO_S16LSB;
  wanted.channels = 2;
  wanted.samples = buffer_frames;
  wanted.callback = nullptr;  // fed through SDL_QueueAudio

  const int saved = hide_standard_error();
  // Even a failed start may leave parts of SDL to shut down.
  playback.sdl_started = true;
  // A sound output that blocks its open is a wait that a break ends.
  breakable([&wanted] {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0)
      playback.output = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    return 0;
  });
  restore_standard_error(saved);
  if (break_caught()) return 0;
  if (playback.output == 0)
    return error("Sorry, CD Music cannot be played: no sound output (%s).\n", SDL_GetError());
  return 1;
}

// Reads up to `wanted` bytes of CD audio of the span being queued into the
// chunk, from where it stands: the count read, 0 at its file's end.
std::size_t read_span(std::size_t wanted) {
  const pcm_span& span = playback.spans[playback.span];
  if (span.kind == file_kind::audio_file)
    return read_audio_file(playback.decoded[playback.span], chunk.data(), wanted);
  if (span.path.empty()) {
    std::fill_n(chunk.begin(), wanted, '\0');
    return wanted;
  }
  // Sector by sector where each sector's subchannel follows it, else at once.
  std::size_t done = 0;
  while (done < wanted) {
    const std::uint64_t at = playback.queued + done;
    const std::uint64_t within = at % raw_sector::size;
    const std::size_t now = span.stride == raw_sector::size
                                ? wanted - done
                                : static_cast<std::size_t>(std::min<std::uint64_t>(
                                      wanted - done, raw_sector::size - within));
    const auto stored =
        static_cast<off_t>(span.offset + at / raw_sector::size * span.stride + within);
    const ssize_t got =
        breakable([&] { return pread(span.file, chunk.data() + done, now, stored); });
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
    if (static_cast<std::size_t>(got) < now) break;
  }
  if (span.kind == file_kind::motorola)
    for (std::size_t i = 0; i + 1 < done; i += 2) std::swap(chunk[i], chunk[i + 1]);
  return done;
}

// Queues audio until queue_ahead is waiting or every span is queued. Runs
// before playing starts and then once a second (feed_pcm); once everything has played
// out, the next tick releases the output, as a drive stops after the last track.
void top_up() {
  if (playback.output == 0) return;
  while (playback.span < playback.spans.size() &&
         SDL_GetQueuedAudioSize(playback.output) < queue_ahead) {
    const pcm_span& span = playback.spans[playback.span];
    // Whole frames only: a stray byte at a span's end must not shift every
    // sample after it.
    const std::uint64_t left =
        span.length == to_file_end
            ? chunk.size()
            : audio_bytes(span) / frame_bytes * frame_bytes - playback.queued;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    const std::uint64_t frames = wanted == 0 ? 0 : read_span(wanted) / frame_bytes;
    if (frames == 0) {
      // The span is done, or its file ended early or failed: on to the next.
      ++playback.span;
      playback.queued = 0;
      continue;
    }
    SDL_QueueAudio(playback.output, chunk.data(), static_cast<Uint32>(frames * frame_bytes));
    playback.queued += frames * frame_bytes;
  }
  if (playback.span == playback.spans.size() && SDL_GetQueuedAudioSize(playback.output) == 0) {
    // SDL has taken the last bytes from the queue; a second later they have
    // been heard.
    if (playback.ran_dry) release();
    playback.ran_dry = true;
  }
}

}  // namespace

int start_pcm(const std::vector<pcm_span>& spans) {
  playback.spans = spans;
  if (check_files() != 1 || open_output() != 1) {
    release();
    return 0;
  }
  top_up();
  SDL_PauseAudioDevice(playback.output, 0);
  return 1;
}

void feed_pcm() { top_up(); }

bool stop_pcm() {
  release();
  return !playback.left_behind;
}
