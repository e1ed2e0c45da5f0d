// Audio files through libsndfile, which reads WAV, FLAC, Ogg Vorbis and Opus,
// MP3, AIFF and more; audio at another rate or channel count is converted to
// CD audio by SDL's converter, as the sound output would be.
#include "audio_file.h"

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "error.h"
#include "raw_sector.h"

namespace {

struct decoding {
  SNDFILE* file = nullptr;
  SDL_AudioStream* converter = nullptr;  // none when the file holds CD audio already
  int channels = 0;
  bool drained = false;  // all of the file's audio has gone into the converter
};
std::vector<decoding> decodings;

// Samples as the file gives them, one read's worth.
std::vector<std::int16_t> samples;
constexpr sf_count_t frames_a_read = 4096;

sf_count_t read_frames(decoding& d, sf_count_t frames) {
  samples.resize(static_cast<std::size_t>(frames * d.channels));
  return sf_readf_short(d.file, samples.data(), frames);
}

// Stands at the file's `frame`: seeks where the format can, else decodes up
// to it. The file may end first; then nothing of it plays.
void move_to(decoding& d, sf_count_t frame) {
  if (frame == 0 || sf_seek(d.file, frame, SEEK_SET) == frame) return;
  sf_seek(d.file, 0, SEEK_SET);
  for (sf_count_t done = 0; done < frame;) {
    const sf_count_t got = read_frames(d, std::min(frames_a_read, frame - done));
    if (got <= 0) return;
    done += got;
  }
}

}  // namespace

int open_audio_file(const pcm_span& span, int file) {
  const char* const path = span.path.c_str();
  SF_INFO info{};
  SNDFILE* const decoded = sf_open_fd(file, SFM_READ, &info, SF_FALSE);
  if (decoded == nullptr) {
    // The library's reasons are sentences; in brackets they lose the full stop.
    std::string_view reason = sf_strerror(nullptr);
    if (reason.ends_with('.')) reason.remove_suffix(1);
    error("Sorry, CD Music cannot be played: %s cannot be decoded (%.*s).\n", path,
          static_cast<int>(reason.size()), reason.data());
    return -1;
  }
  decoding& d = decodings.emplace_back(decoding{decoded, nullptr, info.channels, false});
  // Float formats (and the lossy ones, decoded to float) give full-scale
  // samples only when asked to.
  sf_command(decoded, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
  const bool cd_audio = info.samplerate == raw_sector::audio_rate && info.channels == 2 &&
                        SDL_BYTEORDER == SDL_LIL_ENDIAN;
  if (!cd_audio) {
    d.converter = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(info.channels),
                                     info.samplerate, AUDIO_S16LSB, 2, raw_sector::audio_rate);
    if (d.converter == nullptr) {
      error(
          "Sorry, CD Music cannot be played: %s holds audio of %d channels at %d Hz, which "
          "cannot be converted to CD audio (%s).\n",
          path, info.channels, info.samplerate, SDL_GetError());
      return -1;
    }
  }
  // The span's offset counts CD audio; the file counts frames of its own rate.
  const std::uint64_t cd_frames = span.offset / raw_sector::audio_frame_bytes;
  move_to(d, static_cast<sf_count_t>(cd_frames * static_cast<std::uint64_t>(info.samplerate) /
                                     raw_sector::audio_rate));
  return static_cast<int>(decodings.size() - 1);
}

std::size_t read_audio_file(int slot, char* into, std::size_t size) {
  decoding& d = decodings[static_cast<std::size_t>(slot)];
  if (d.converter == nullptr) {
    const sf_count_t got =
        read_frames(d, static_cast<sf_count_t>(size / raw_sector::audio_frame_bytes));
    if (got <= 0) return 0;
    const auto bytes = static_cast<std::size_t>(got) * raw_sector::audio_frame_bytes;
    std::memcpy(into, samples.data(), bytes);
    return bytes;
  }
  const auto wanted = static_cast<int>(size);
  while (!d.drained && SDL_AudioStreamAvailable(d.converter) < wanted) {
    const sf_count_t got = read_frames(d, frames_a_read);
    if (got > 0) {
      SDL_AudioStreamPut(d.converter, samples.data(),
                         static_cast<int>(got * d.channels * sizeof(std::int16_t)));
    } else {
      // The converter holds back the last few samples until told the end.
      SDL_AudioStreamFlush(d.converter);
      d.drained = true;
    }
  }
  const int ready = std::min(SDL_AudioStreamAvailable(d.converter), wanted) /
                    static_cast<int>(raw_sector::audio_frame_bytes) *
                    static_cast<int>(raw_sector::audio_frame_bytes);
  const int got = ready > 0 ? SDL_AudioStreamGet(d.converter, into, ready) : 0;
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void close_audio_files() {
  for (const decoding& d : decodings) {
    if (d.converter != nullptr) SDL_FreeAudioStream(d.converter);
    sf_close(d.file);
  }
  decodings.clear();
}
