// Whatever -d names, ruvo ends with a clear message and a defined exit status:
// it does not crash, hang or read past its buffers, and sends the drive nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "ruvo_test.h"

namespace {

using namespace ruvo_test;

const std::string read_failed = "Can not read the CD header!\n";

std::string path_of_4096_characters() {
  std::string path = "/nonexistent";
  while (path.size() < 4096) path += "/" + std::string(99, 'x');
  path.resize(4096);
  return path;
}

struct bad_input {
  const char* name;
  std::string path;   // "<dir>", "<image>" or "<fifo>" for a fresh one, else the path itself
  std::string bytes;  // the image, or what the FIFO's writer sends before it closes
  bool interrupt;     // no writer comes to the FIFO: SIGINT while ruvo waits in open
  std::string out;    // after the banner
  std::string err;
  int status;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const bad_input& c, std::ostream* os) { *os << c.name; }

const bad_input bad_inputs[] = {
    {"Directory", "<dir>", "", false, "", read_failed, 0},
    {"FifoThatSends100BytesAndCloses", "<fifo>", valid_image().substr(0, 100), false, "",
     read_failed, 0},
    {"FifoWithoutWriterAndABreak", "<fifo>", "", true, break_message, "", 1},
    // Reads of every length succeed, with zeros.
    {"DevZero", "/dev/zero", "", false, "", invalid_header, 0},
    // Longer than the system takes, and than the error reporter's buffer.
    {"PathOf4096Characters", path_of_4096_characters(), "", false, "",
     ("CD Device " + path_of_4096_characters() + " cannot be opened!\n").substr(0, 1023), 0},
    {"EveryByteFF", "<image>", std::string(area_size, '\xFF'), false, "", invalid_header, 0},
    {"EveryByteASpace", "<image>", std::string(area_size, ' '), false, "", invalid_header, 0},
};

// Opens the FIFO for writing as soon as ruvo has it open for reading, sends
// the bytes and closes it.
testing::AssertionResult send_and_close(const std::string& fifo, const std::string& bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int writer;
  while ((writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
    if (errno != ENXIO || std::chrono::steady_clock::now() > deadline)
      return testing::AssertionFailure() << "no reader opened the FIFO";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool sent = write(writer, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(writer);
  return sent ? testing::AssertionSuccess() : testing::AssertionFailure() << "short write";
}

class ruvo_bad_input : public testing::TestWithParam<bad_input> {};

TEST_P(ruvo_bad_input, message_and_exit_status) {
  const bad_input& c = GetParam();
  const fake_drive drive = make_fake_drive();
  std::string path = c.path;
  if (path == "<dir>") path = test_support::make_temp_dir();
  if (path == "<image>") path = image_file(c.bytes);
  if (path == "<fifo>") path = make_fifo();

  auto child = test_support::start_program({RUVO_PATH, "-i", "-d", path}, drive.options);
  if (c.interrupt) {
    EXPECT_TRUE(blocked_in(child.pid, SYS_openat));
    kill(child.pid, SIGINT);
  } else if (c.path == "<fifo>") {
    EXPECT_TRUE(send_and_close(path, c.bytes));
  }
  const auto result = test_support::finish_program(child);

  EXPECT_EQ(result.out, banner + c.out);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.exit_status, c.status);
  EXPECT_EQ(requests(drive), "");
}

INSTANTIATE_TEST_SUITE_P(ruvo, ruvo_bad_input, testing::ValuesIn(bad_inputs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
