// ruvo -m's decoding of audio files to CD audio, per file of ten seconds: a
// file at the CD rate beside the same audio at rates the resampler converts,
// so that the resampler's cost shows as the difference, in one run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio_file.h"
#include "disc_source.h"

namespace {

constexpr int seconds = 10;

// Ten seconds of a tone in each channel, in a fresh file.
std::string make_file(int rate, int format) {
  const std::string path = "/tmp/ruvo_audio_bench_" + std::to_string(getpid()) + "_" +
                           std::to_string(rate) + "_" + std::to_string(format);
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<float> levels(2 * static_cast<std::size_t>(rate));
  for (int second = 0; file != nullptr && second < seconds; ++second) {
    for (std::size_t i = 0; i < levels.size(); ++i)
      levels[i] = static_cast<float>(0.25 * std::sin(2 * M_PI * (i % 2 == 0 ? 440 : 660) *
                                                     (second + static_cast<double>(i / 2) / rate)));
    sf_writef_float(file, levels.data(), rate);
  }
  sf_close(file);
  return path;
}

void decode(benchmark::State& state, int rate, int format) {
  const std::string path = make_file(rate, format);
  std::vector<char> chunk(65536);
  for (auto _ : state) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int slot =
        open_audio_file(pcm_span{file, path, file_kind::audio_file, "WAVE", 0, to_file_end});
    std::size_t bytes = 0;
    for (std::size_t got = 1; slot >= 0 && got > 0; bytes += got)
      got = read_audio_file(slot, chunk.data(), chunk.size());
    close_audio_files();
    close(file);
    if (bytes < seconds * 44100 * 4) state.SkipWithError("the audio did not decode");
  }
  unlink(path.c_str());
}

constexpr int wave = SF_FORMAT_WAV | SF_FORMAT_PCM_16, vorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
BENCHMARK_CAPTURE(decode, wave_44100, 44100, wave)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, wave_48000, 48000, wave)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, wave_96000, 96000, wave)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, wave_22050, 22050, wave)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, wave_8000, 8000, wave)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, vorbis_44100, 44100, vorbis)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, vorbis_48000, 48000, vorbis)->Unit(benchmark::kMillisecond);

}  // namespace
