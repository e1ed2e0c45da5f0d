#include "playing.h"

#include <signal.h>
#include <unistd.h>

#include "ruvo_test.h"

namespace ruvo_test {

using test_support::finish_program;
using test_support::read_file;
using test_support::start_program;
using test_support::wait_for_output;

testing::AssertionResult spins_until_break(const std::string& out, const std::string& lead,
                                           std::size_t at_least) {
  static constexpr char cycle[] = {'\\', '|', '/', '-'};
  const auto failure = [&out] {
    return testing::AssertionFailure() << "output: " << testing::PrintToString(out);
  };
  if (out.size() < lead.size() + break_message.size() || out.compare(0, lead.size(), lead) != 0 ||
      out.compare(out.size() - break_message.size(), break_message.size(), break_message) != 0)
    return failure();
  const std::string frames =
      out.substr(lead.size(), out.size() - lead.size() - break_message.size());
  if (frames.size() % 2 != 0 || frames.size() / 2 < at_least) return failure();
  for (std::size_t i = 0; i < frames.size() / 2; ++i)
    if (frames[2 * i] != cycle[i % 4] || frames[2 * i + 1] != '\r') return failure();
  return testing::AssertionSuccess();
}

bool played(const std::string& output, const std::string& expected, bool whole) {
  const auto sound = output.find_first_not_of('\0'), lead = expected.find_first_not_of('\0');
  if (sound == std::string::npos || sound < lead) return false;
  const std::string heard = output.substr(sound - lead);
  return whole ? heard.starts_with(expected) &&
                     heard.find_first_not_of('\0', expected.size()) == std::string::npos
               : heard.size() < expected.size() && expected.starts_with(heard);
}

std::string play_until_break(const audio_image& image, const std::string& frames, int signal,
                             const std::function<bool(const std::string&)>& done,
                             std::string* err) {
  test_support::run_options sound;
  const std::string output = image.dir + "/played.raw";
  sound.env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + output};
  auto child = start_program({RUVO_PATH, "-m", "-d", image.disc}, sound);
  const std::string lead =
      banner + "Playing game \"" + image.title + "\".\nNo CPU emulation has began.\n" + prompt;
  EXPECT_TRUE(wait_for_output(child, lead + frames)) << child.result.err;
  if (!done)
    usleep(500000);
  else
    for (int tries = 0; tries < 100 && !done(read_file(output)); ++tries) usleep(100000);
  kill(child.pid, signal);
  EXPECT_TRUE(wait_for_output(child, break_message));
  const std::string at_the_message = read_file(output);
  const auto result = finish_program(child);
  EXPECT_EQ(result.exit_status, 1);
  if (err != nullptr)
    *err = result.err;
  else
    EXPECT_EQ(result.err, "");
  EXPECT_TRUE(spins_until_break(result.out, lead, frames.size() / 2));
  EXPECT_EQ(read_file(output).size(), at_the_message.size());
  return at_the_message;
}

}  // namespace ruvo_test
