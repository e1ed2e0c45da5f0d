// The output module's buffer bookkeeping, in-process with the output captured.
#include <gtest/gtest.h>

#include <string>

#include "output.h"

namespace {

// A fixed-format line may leave the cursor inside the line reserve; a %s text
// that follows must still find its room counted from there, whatever its
// length (the sanitizers catch a write past the buffer).
TEST(output, a_text_after_a_line_that_ends_in_the_reserve) {
  const struct {
    const char* name;
    std::size_t text_size;
  } cases[] = {
      {"shorter than the rest of the reserve", 100},
      {"longer than the reserve", 2 * out::line_reserve},
      {"longer than the buffer", out::buffer_size + 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string printed, expected;
    out::capture_into(&printed);
    for (std::uint32_t n = 0; out::cursor() <= out::buffer + out::buffer_size; ++n) {
      out::print<"%08X line\n">(n);
      char line[16];
      std::snprintf(line, sizeof line, "%08X line\n", n);
      expected += line;
    }
    const std::string text(c.text_size, 'x');
    out::print<"%s|\n">(text.c_str());
    expected += text + "|\n";
    out::flush();
    out::capture_into(nullptr);
    EXPECT_EQ(printed, expected);
  }
}

}  // namespace
