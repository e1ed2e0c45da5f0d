// The output module's buffer bookkeeping, in-process with the output captured.
#include <gtest/gtest.h>

#include <string>

#include "output.h"

namespace {

// A fixed-format line may leave the cursor inside the line reserve; a %s text
// that follows, longer than the whole buffer, must still find its room
// counted from there (a write past the buffer crashes or the sanitizers see
// it).
TEST(output, a_long_text_after_a_line_that_ends_in_the_reserve) {
  std::string printed, expected;
  out::capture_into(&printed);
  for (std::uint32_t n = 0; out::cursor() <= out::buffer + out::buffer_size; ++n) {
    out::print<"%08X line\n">(n);
    char line[16];
    std::snprintf(line, sizeof line, "%08X line\n", n);
    expected += line;
  }
  const std::string text(out::buffer_size + 1000, 'x');
  out::print<"%s|\n">(text.c_str());
  out::flush();
  out::capture_into(nullptr);
  EXPECT_TRUE(printed == expected + text + "|\n");
}

}  // namespace
