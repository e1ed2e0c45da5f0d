// Audio files through libsndfile, which reads WAV, FLAC, Ogg Vorbis and Opus,
// MP3, AIFF and more. Each file plays at its own level, never scaled by its
// own peak: integer PCM in mono or stereo at the CD rate is read as 16-bit
// integers (other widths shifted), mono's sample going to both channels; all
// else is read as floats with 1.0 at full scale (for integer PCM its width's
// full scale), folded into stereo, resampled where its rate is another
// (resampler.h), and saturated on the way to 16 bits.
#include "audio_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "raw_sector.h"
#include "resampler.h"

namespace {

constexpr int cd_rate = raw_sector::audio_rate;
constexpr std::size_t frame_bytes = raw_sector::audio_frame_bytes;

// Frames decoded at a time: each step of playing stays a few milliseconds.
constexpr std::size_t frames_a_read = 4096;

// A channel's share of the left and the right CD channel.
struct share {
  float left, right;
};

struct decoding {
  SNDFILE* file = nullptr;
  // The file as libsndfile reads it: the disc source's descriptor, its size,
  // and the decoder's own place in it.
  int descriptor = -1;
  sf_count_t size = 0;
  sf_count_t place = 0;
  std::string path;  // for the message when decoding stops early
  int channels = 0;
  int rate = 0;
  bool as_integers = false;        // integer PCM at the CD rate in one or two channels
  std::uint64_t seek_lead = 0;     // frames decoded, not sought, before a place sought
  std::vector<share> shares;       // per channel, where it is read as floats
  resampler* converter = nullptr;  // none at the CD rate
  std::uint64_t read = 0;          // frames read from the file, counted from its start
  std::uint64_t given = 0;  // CD frames of its converted audio given or passed over, likewise
  std::uint64_t start = 0;  // the CD frame the span starts at
  bool ended = false;       // the decoder has given its last frame
  bool failed = false;      // ... because the file could not be decoded further
  std::uint64_t total = 0;  // once ended: the CD frames the file's audio makes
};
// Stable places: each resampler reads from its decoding through a pointer.
std::deque<decoding> decodings;

// One read's worth, shared by every decoding.
std::vector<std::int16_t> shorts;
std::vector<float> floats, stereo, converted;

// The CD frames that `frames` frames at `rate` make, rounded to the nearest.
std::uint64_t cd_frames_of(std::uint64_t frames, int rate) {
  const auto r = static_cast<std::uint64_t>(rate);
  return frames / r * cd_rate + (frames % r * cd_rate + r / 2) / r;
}

// libsndfile's reason, to stand in brackets: without its full stop or its
// "Error : ".
std::string_view reason_of(SNDFILE* file) {
  std::string_view reason = sf_strerror(file);
  if (reason.starts_with("Error : ")) reason.remove_prefix(8);
  if (reason.ends_with('.')) reason.remove_suffix(1);
  return reason;
}

// After the decoder's last frame: the length is known now. A decoder that
// stopped at an error is reported, once a file, with how far it got.
void end_decoding(decoding& d) {
  d.ended = true;
  d.total = cd_frames_of(d.read, d.rate);
  if (sf_error(d.file) == SF_ERR_NO_ERROR) return;
  d.failed = true;
  for (const decoding& other : decodings)
    if (&other != &d && other.failed && other.path == d.path) return;
  const std::string_view reason = reason_of(d.file);
  const raw_sector::msf reached =
      raw_sector::msf_of(static_cast<std::uint32_t>(d.total / raw_sector::audio_frames_a_sector));
  error("Sorry, CD Music stops early: %s cannot be decoded past %02u:%02u:%02u (%.*s).\n",
        d.path.c_str(), reached.minutes, reached.seconds, reached.frames,
        static_cast<int>(reason.size()), reason.data());
}

// Reads up to `frames` frames (at most a read's worth), as 16-bit integers
// into `shorts` or folded into stereo floats in `stereo`; 0 at the end.
std::size_t read_frames(decoding& d, std::size_t frames) {
  if (d.ended) return 0;
  const auto channels = static_cast<std::size_t>(d.channels);
  const auto wanted = static_cast<sf_count_t>(std::min(frames, frames_a_read));
  sf_count_t got = 0;
  if (d.as_integers) {
    shorts.resize(frames_a_read * channels);
    got = sf_readf_short(d.file, shorts.data(), wanted);
  } else {
    floats.resize(frames_a_read * channels);
    stereo.resize(2 * frames_a_read);
    got = sf_readf_float(d.file, floats.data(), wanted);
    for (sf_count_t i = 0; i < got; ++i) {
      float left = 0, right = 0;
      for (std::size_t c = 0; c < channels; ++c) {
        const float level = floats[static_cast<std::size_t>(i) * channels + c];
        left += d.shares[c].left * level;
        right += d.shares[c].right * level;
      }
      stereo[2 * static_cast<std::size_t>(i)] = left;
      stereo[2 * static_cast<std::size_t>(i) + 1] = right;
    }
  }
  if (got <= 0) {
    end_decoding(d);
    return 0;
  }
  d.read += static_cast<std::uint64_t>(got);
  return static_cast<std::size_t>(got);
}

// The resampler's input: the file's next frames in stereo.
std::size_t next_input(void* source, const float** frames, std::size_t most) {
  const std::size_t got = read_frames(*static_cast<decoding*>(source), most);
  *frames = stereo.data();
  return got;
}

// Stands at the file's `frame`: seeks where the format can, else decodes up
// to it. The file may end first; then nothing of it plays.
void move_to(decoding& d, std::uint64_t frame) {
  const std::uint64_t from = frame > d.seek_lead ? frame - d.seek_lead : 0;
  if (from > 0 &&
      sf_seek(d.file, static_cast<sf_count_t>(from), SEEK_SET) == static_cast<sf_count_t>(from)) {
    d.read = from;
  } else if (from > 0) {
    sf_seek(d.file, 0, SEEK_SET);
  }
  while (d.read < frame && read_frames(d, static_cast<std::size_t>(frame - d.read)) > 0) {
  }
}

// A sample on the CD's 16-bit scale, saturated; not a number is silence.
std::int16_t cd_sample(float level) {
  const float scaled = level * 32768.0f;
  if (std::isnan(scaled)) return 0;
  return static_cast<std::int16_t>(std::lrint(std::clamp(scaled, -32768.0f, 32767.0f)));
}

void put_frame(char* into, std::int16_t left, std::int16_t right) {
  const auto l = static_cast<std::uint16_t>(left), r = static_cast<std::uint16_t>(right);
  into[0] = static_cast<char>(l & 0xFF);
  into[1] = static_cast<char>(l >> 8);
  into[2] = static_cast<char>(r & 0xFF);
  into[3] = static_cast<char>(r >> 8);
}

// Stereo levels as CD frames.
void put_levels(char* into, const std::vector<float>& levels, std::size_t frames) {
  for (std::size_t i = 0; i < frames; ++i)
    put_frame(into + i * frame_bytes, cd_sample(levels[2 * i]), cd_sample(levels[2 * i + 1]));
}

// Up to `frames` CD frames of a file at the CD rate into `into`; 0 at its end.
std::size_t decode(decoding& d, char* into, std::size_t frames) {
  const std::size_t got = read_frames(d, frames);
  if (d.as_integers) {
    const auto channels = static_cast<std::size_t>(d.channels);
    // Mono's one sample goes to both channels.
    for (std::size_t i = 0; i < got; ++i)
      put_frame(into + i * frame_bytes, shorts[i * channels], shorts[i * channels + channels - 1]);
  } else {
    put_levels(into, stereo, got);
  }
  d.given += got;
  return got;
}

// Up to `frames` frames of the resampler's output into `converted`, and no
// more than the file's length makes: its last few, should the resampler
// fall short, are silence. 0 at the end.
std::size_t resample_some(decoding& d, std::size_t frames) {
  frames = std::min(frames, frames_a_read);
  if (d.ended)
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, d.total - d.given));
  converted.resize(2 * frames_a_read);
  std::size_t got = frames == 0 ? 0 : resample(d.converter, converted.data(), frames);
  if (d.ended) {
    const std::uint64_t left = d.total - d.given;
    got = static_cast<std::size_t>(std::min<std::uint64_t>(got, left));
    if (got == 0 && left > 0) {
      got = static_cast<std::size_t>(std::min<std::uint64_t>(frames, left));
      std::fill_n(converted.begin(), 2 * got, 0.0f);
    }
  }
  d.given += got;
  return got;
}

// Up to `frames` CD frames of a resampled file into `into`, from the span's
// start; 0 at its end.
std::size_t convert(decoding& d, char* into, std::size_t frames) {
  for (;;) {
    // The converted audio before the span's start is passed over.
    const bool before_start = d.given < d.start;
    const std::size_t got = resample_some(
        d, before_start
               ? static_cast<std::size_t>(std::min<std::uint64_t>(frames_a_read, d.start - d.given))
               : frames);
    if (got == 0) return 0;
    if (before_start) continue;
    put_levels(into, converted, got);
    return got;
  }
}

// Where a file's channels go, by their places (as the file names them, else
// in the order its format gives so many): front left and right as they are,
// the centre at -3 dB into both, the surrounds at -3 dB into their side, a
// back centre at -6 dB into both, the low-frequency channel left out. Any
// other place counts as the centre.
constexpr float minus_3_db = 0.70710678f;
share share_of(char place) {
  switch (place) {
    case 'M':
      return {1, 1};
    case 'L':
      return {1, 0};
    case 'R':
      return {0, 1};
    case 'l':
      return {minus_3_db, 0};
    case 'r':
      return {0, minus_3_db};
    case 'b':
      return {0.5f, 0.5f};
    case 'F':
      return {0, 0};
    default:
      return {minus_3_db, minus_3_db};
  }
}

char place_of(int channel_map) {
  switch (channel_map) {
    case SF_CHANNEL_MAP_MONO:
      return 'M';
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
      return 'L';
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
      return 'R';
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
      return 'l';
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
      return 'r';
    case SF_CHANNEL_MAP_REAR_CENTER:
      return 'b';
    case SF_CHANNEL_MAP_LFE:
      return 'F';
    default:
      return 'C';
  }
}

// The places of 1 to 8 channels as WAV, FLAC and AIFF order them, and as
// Vorbis and Opus do.
constexpr int most_channels = 8;
constexpr std::array<std::string_view, most_channels + 1> wave_places = {
    "", "M", "LR", "LRC", "LRlr", "LRClr", "LRCFlr", "LRCFblr", "LRCFlrlr"};
constexpr std::array<std::string_view, most_channels + 1> vorbis_places = {
    "", "M", "LR", "LCR", "LRlr", "LCRlr", "LCRlrF", "LCRlrbF", "LCRlrlrF"};

std::vector<share> shares_of(SNDFILE* file, const SF_INFO& info) {
  const auto channels = static_cast<std::size_t>(info.channels);
  std::vector<int> map(channels);
  const bool mapped = sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(channels * sizeof(int))) == SF_TRUE;
  const bool vorbis_order = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
  std::vector<share> shares;
  for (std::size_t c = 0; c < channels; ++c)
    shares.push_back(share_of(mapped ? place_of(map[c])
                                     : (vorbis_order ? vorbis_places : wave_places)[channels][c]));
  return shares;
}

bool is_mpeg(int format) {
  const int kind = format & SF_FORMAT_SUBMASK;
  return kind == SF_FORMAT_MPEG_LAYER_I || kind == SF_FORMAT_MPEG_LAYER_II ||
         kind == SF_FORMAT_MPEG_LAYER_III;
}

// Float and lossy audio, which libsndfile decodes to floats.
bool holds_floats(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
      return true;
    default:
      return is_mpeg(format);
  }
}

// An MPEG audio frame takes bits from the frames before it, which a decoder
// that has just sought lacks: its first frames come out wrong. So it seeks
// eight frames of the longest kind before the place and decodes from there.
std::uint64_t seek_lead_of(int format) { return is_mpeg(format) ? 8 * 1152 : 0; }

// libsndfile reads through these, at the decoding's place in the file.
sf_count_t file_size(void* d) { return static_cast<decoding*>(d)->size; }
sf_count_t file_place(void* d) { return static_cast<decoding*>(d)->place; }
sf_count_t seek_file(sf_count_t offset, int whence, void* source) {
  decoding& d = *static_cast<decoding*>(source);
  const sf_count_t from = whence == SEEK_CUR ? d.place : whence == SEEK_END ? d.size : 0;
  if (offset < -from || offset > std::numeric_limits<sf_count_t>::max() - from) return -1;
  d.place = from + offset;
  return d.place;
}
sf_count_t read_file(void* into, sf_count_t count, void* source) {
  decoding& d = *static_cast<decoding*>(source);
  if (count <= 0) return 0;
  const ssize_t got = pread(d.descriptor, into, static_cast<std::size_t>(count), d.place);
  if (got <= 0) return 0;
  d.place += got;
  return got;
}
sf_count_t write_file(const void*, sf_count_t, void*) { return 0; }
SF_VIRTUAL_IO file_access = {file_size, seek_file, read_file, write_file, file_place};

// How long (0.1 s) the resampler runs before a span's start, that its filter
// has settled on the audio there.
constexpr int settle_divisor = 10;

}  // namespace

int open_audio_file(const pcm_span& span) {
  const char* const path = span.path.c_str();
  decoding& d = decodings.emplace_back();
  d.descriptor = span.file;
  struct stat status {};
  d.size = fstat(span.file, &status) == 0 ? status.st_size : 0;
  SF_INFO info{};
  SNDFILE* const decoded = sf_open_virtual(&file_access, SFM_READ, &info, &d);
  if (decoded == nullptr) {
    decodings.pop_back();
    const std::string_view reason = reason_of(nullptr);
    error("Sorry, CD Music cannot be played: %s cannot be decoded (%.*s).\n", path,
          static_cast<int>(reason.size()), reason.data());
    return -1;
  }
  d.file = decoded;
  d.path = span.path;
  d.channels = info.channels;
  d.rate = info.samplerate;
  d.seek_lead = seek_lead_of(info.format);
  if (info.channels < 1 || info.channels > most_channels) {
    error(
        "Sorry, CD Music cannot be played: %s holds %d channels; ruvo folds 1 to %d into stereo.\n",
        path, info.channels, most_channels);
    return -1;
  }
  d.as_integers = info.samplerate == cd_rate && info.channels <= 2 && !holds_floats(info.format);
  if (!d.as_integers) d.shares = shares_of(decoded, info);
  // The span's offset counts CD audio; the file counts frames of its own rate.
  d.start = span.offset / frame_bytes;
  if (info.samplerate == cd_rate) {
    move_to(d, d.start);
    d.given = d.read;
  } else {
    d.converter = new_resampler(path, info.samplerate, next_input, &d);
    if (d.converter == nullptr) return -1;
    // The resampler starts at a file frame that falls on a CD frame exactly,
    // which every `step` frames does, a little before the span's start; what
    // it gives before the start is passed over.
    const auto rate = static_cast<std::uint64_t>(info.samplerate);
    const std::uint64_t step = rate / std::gcd(rate, std::uint64_t{cd_rate});
    const std::uint64_t settle = rate / settle_divisor + step;
    const std::uint64_t at = d.start * rate / cd_rate;
    move_to(d, at > settle ? (at - settle) / step * step : 0);
    d.given = std::min(cd_frames_of(d.read, info.samplerate), d.start);
  }
  return static_cast<int>(decodings.size() - 1);
}

std::size_t read_audio_file(int slot, char* into, std::size_t size) {
  decoding& d = decodings[static_cast<std::size_t>(slot)];
  const std::size_t wanted = size / frame_bytes;
  std::size_t done = 0;
  while (done < wanted) {
    char* const at = into + done * frame_bytes;
    const std::size_t got =
        d.converter == nullptr ? decode(d, at, wanted - done) : convert(d, at, wanted - done);
    if (got == 0) break;
    done += got;
  }
  return done * frame_bytes;
}

void close_audio_files() {
  for (const decoding& d : decodings) {
    delete_resampler(d.converter);
    sf_close(d.file);
  }
  decodings.clear();
}
