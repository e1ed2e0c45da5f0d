// The output module's buffer bookkeeping, in-process with the output captured.
#include <gtest/gtest.h>

#include <string>

#include "output.h"

namespace {

// Lines that fill the buffer up to its limit, then a %s text longer than the
// whole buffer: its pieces run into the line reserve and must still find
// their room counted from there (a write past the buffer crashes or the
// sanitizers see it).
TEST(output, a_long_text_after_lines_that_fill_the_buffer) {
  std::string printed, expected;
  out::capture_into(&printed);
  for (std::uint32_t n = 0; out::cursor() + 16 <= out::state.limit; ++n) {
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
