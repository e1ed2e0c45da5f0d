// What -i reads of a disc image, per format: the same disc (the sample's
// header, a data track and three audio tracks) as a CUE sheet with its raw
// image, and as each other format's writer of the tests makes it, each read
// from the open of -d to the end of the header read, in one run, so that each
// format's cost shows beside the CUE sheet's; and `ruvo -i` on each as a
// whole process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "disc_source.h"
#include "header.h"
#include "image_writers.h"
#include "run_program.h"

namespace {

using namespace image_writers;

using writer_fn = std::string (*)(const std::string&, const disc_spec&);

// The sample disc as the writer makes it, in a folder of its own.
std::string write_image(const char* format, writer_fn writer, std::uint32_t sector_size) {
  static const std::string folder = test_support::make_temp_dir();
  const std::string into = folder + "/" + format;
  std::filesystem::create_directory(into);
  const disc_spec disc{test_support::read_file(RUVO_SAMPLE_DISC),
                       16,
                       {{150, 300}, {150, 300}, {75, 300}},
                       sector_size};
  return writer(into, disc);
}

std::string nrg_v1(const std::string& f, const disc_spec& d) { return write_nrg(f, d, 1); }
std::string nrg_v2(const std::string& f, const disc_spec& d) { return write_nrg(f, d, 2); }

void list(benchmark::State& state, const char* format, writer_fn writer,
          std::uint32_t sector_size) {
  const std::string path = write_image(format, writer, sector_size);
  for (auto _ : state) {
    const int device = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = open_disc_source(device, path.c_str()) == 1 && read_header() == 1;
    close_disc_source();
    close(device);
    if (!read) state.SkipWithError("the header was not read");
  }
}

// The same through ruvo itself, its listing to /dev/null.
void run_ruvo(benchmark::State& state, const char* format, writer_fn writer) {
  const std::string path = write_image(format, writer, 2352);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {RUVO_PATH, "-i", "-d", path.c_str(), nullptr};
  for (auto _ : state) {
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, RUVO_PATH, &quiet, nullptr, const_cast<char**>(argv), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 1)
      state.SkipWithError("ruvo -i did not list the disc");
  }
  posix_spawn_file_actions_destroy(&quiet);
}

BENCHMARK_CAPTURE(run_ruvo, cue, "ruvo_cue", write_cue)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_ruvo, ccd, "ruvo_ccd", write_ccd)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_ruvo, toc, "ruvo_toc", write_toc)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_ruvo, mds, "ruvo_mds", write_mds)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_ruvo, nrg_v2, "ruvo_nrg2", nrg_v2)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(list, cue, "cue", write_cue, 2352)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, ccd, "ccd", write_ccd, 2352)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, toc, "toc", write_toc, 2352)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, toc_with_subchannel, "toc_sub", write_toc, 2448)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, mds, "mds", write_mds, 2352)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, mds_cooked, "mds_cooked", write_mds, 2048)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, nrg_v1, "nrg1", nrg_v1, 2352)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(list, nrg_v2, "nrg2", nrg_v2, 2352)->Unit(benchmark::kMicrosecond);

}  // namespace
