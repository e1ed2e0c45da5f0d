// Any bytes as the disc's initial-program area, through the header test, the
// listing and the text routines. The listing runs even for a header that
// fails its test, so that every byte pattern reaches it; the sanitizers catch
// any access outside the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "disc_text.h"
#include "fuzz_target.h"
#include "header.h"
#include "output_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const output_sink quiet;
  // A fresh process each time: everything zero, the disc numbers unparsed.
  current_game = {};
  auto* const record = reinterpret_cast<char*>(&current_game);
  if (size > 0) std::memcpy(record, data, size < area_size ? size : area_size);

  if (validify_header() == 1) check(current_game.disc_number == 1);
  display_header();

  // The title is trimmed without a byte of the record changing, and always
  // ends inside it.
  const saturn_game before = current_game;
  const std::string_view title = game_title();
  check(std::memcmp(&before, &current_game, sizeof current_game) == 0);
  check(title.data() + title.size() <= record + sizeof current_game);
  check(title.empty() || title.back() != ' ');

  check(strdate(record + release_date.offset).size() <= 12);

  // The search goes by its length only, zero bytes included.
  const int c = size > 0 ? data[0] : 'A';
  for (const int n : {-1, 0, 1, 16, static_cast<int>(area_size)})
    check(strnchr(record, c, n) ==
          (n > 0 ? std::memchr(record, c, static_cast<std::size_t>(n)) : nullptr));

  // Trimming within exactly the input's bytes, so that a step past them shows.
  if (size > 0) {
    const std::vector<char> text(data, data + size);
    const std::string_view trimmed = fmttitle(text.data(), text.size());
    check(trimmed.data() == text.data() && trimmed.size() <= text.size());
    check(trimmed.empty() || trimmed.back() != ' ');
  }
  return 0;
}
