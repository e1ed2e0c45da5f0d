// Any bytes as the disc's initial-program area, through the header test, the
// listing and the text routines. The listing runs even for a header that
// fails its test, so that every byte pattern reaches it; the sanitizers catch
// any access outside the record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "header.h"
#include "main.h"
#include "output_sink.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const output_sink quiet;
  // A fresh process each time: everything zero, the disc numbers unparsed.
  current_game = {};
  auto* const record = reinterpret_cast<char*>(&current_game);
  if (size > 0) std::memcpy(record, data, size < area_size ? size : area_size);

  if (validify_header() == 1) check(current_game.disc_number == 1);
  display_header();

  // The title is trimmed once and for all, and always ends inside the record.
  const char* const title = game_title();
  const std::size_t length = std::strlen(title);
  check(title + length < record + sizeof current_game);
  check(length == 0 || title[length - 1] != ' ');

  check(strdate(record + release_date.offset).size() <= 12);

  // The search goes by its length only, zero bytes included.
  const int c = size > 0 ? data[0] : 'A';
  for (const int n : {-1, 0, 1, 16, static_cast<int>(area_size)})
    check(strnchr(record, c, n) ==
          (n > 0 ? std::memchr(record, c, static_cast<std::size_t>(n)) : nullptr));

  // Trimming within exactly the input's bytes, so that a step past them shows.
  if (size > 0) {
    std::vector<char> text(data, data + size);
    const char* const trimmed = fmttitle(text.data(), text.size());
    const std::size_t end = strnlen(trimmed, text.size());
    check(end < text.size() && (end == 0 || trimmed[end - 1] != ' '));
  }
  return 0;
}
