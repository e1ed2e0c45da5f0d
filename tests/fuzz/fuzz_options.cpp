// Any argument vector through the option scan: the input is split at its zero
// bytes into words, each in a block of its own exact size so that reading past
// a word's end shows, after a fixed program name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_target.h"
#include "options.h"
#include "output_sink.h"

namespace {

std::vector<char> word(const char* text, std::size_t length) {
  std::vector<char> block(length + 1);
  std::memcpy(block.data(), text, length);
  block[length] = '\0';
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const output_sink quiet;
  const auto* const text = reinterpret_cast<const char*>(data);
  std::vector<std::vector<char>> words{word("ruvo", 4)};
  // A zero byte ends a word; one at the very end does not start an empty one.
  for (std::size_t start = 0; start < size;) {
    const auto* const stop = static_cast<const char*>(std::memchr(text + start, 0, size - start));
    const std::size_t end = stop != nullptr ? static_cast<std::size_t>(stop - text) : size;
    words.push_back(word(text + start, end - start));
    start = end + 1;
  }
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // A fresh process each time.
  show_cdrom_info = play_music = user_cddevice = 0;
  cddevice.clear();
  program_name = "ruvo";

  const int result = parse_options(static_cast<int>(words.size()), argv.data());
  check(result == 0 || result == 1);
  check(show_cdrom_info <= 1 && play_music <= 1 && user_cddevice <= 1);
  // The device path, when there is one, is a whole argument after the first.
  check(user_cddevice == 0 ||
        std::any_of(words.begin() + 2, words.end(),
                    [](const std::vector<char>& w) { return cddevice == w.data(); }));
  return 0;
}
