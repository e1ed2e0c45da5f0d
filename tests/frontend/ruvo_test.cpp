#include "ruvo_test.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "raw_sector.h"

namespace ruvo_test {

std::string usage() {
  return std::string("Usage: ") + RUVO_PATH +
         " [-<mhi>] <-d device>\n"
         "  -d device  -  Set the CD Device to <device>. Default is /dev/cdrom\n"
         "  -i         -  Show CDROM header and quit\n"
         "  -m         -  Play CDROM Music (CD Audio)\n"
         "  -h         -  Show this help\n";
}

test_support::program_result run_ruvo(const std::vector<std::string>& args,
                                      const test_support::run_options& options) {
  std::vector<std::string> argv{RUVO_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return test_support::run_program(argv, options);
}

void put(std::string& image, std::size_t offset, std::string_view bytes) {
  if (offset + bytes.size() > image.size()) throw std::out_of_range("put past the image");
  std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

void put_text(std::string& image, header_field field, std::string_view text) {
  std::string padded(text);
  padded.resize(field.length, ' ');
  put(image, field.offset, padded);
}

std::string valid_image() {
  using namespace std::string_literals;
  std::string image(area_size, '\0');
  put_text(image, hardware_id, saturn_hardware_id);
  put_text(image, maker_id, "RUVO TESTS");
  put_text(image, product_number, "T-1234");
  put_text(image, version, "V1.000");
  put_text(image, release_date, "19951105");
  put_text(image, device_info, "CD-1/1");
  put_text(image, area_codes, "JTUE");
  put_text(image, after_area_codes, "");
  put_text(image, peripherals, "J");
  put_text(image, title, "TEST GAME");
  put_text(image, after_title, "");
  put(image, ip_size.offset, "\x00\x00\x18\x00"s);
  put(image, master_sp.offset, "\x00\x20\x00\x06"s);
  put(image, slave_sp.offset, "\x00\x10\x00\x06"s);
  put(image, first_read_address.offset, "\x00\x40\x00\x06"s);
  put(image, first_read_size.offset, "\xFF\xFF\xFF\xFF"s);
  return image;
}

const std::string valid_listing =
    "Hardware: SEGA SEGASATURN \n"
    "Maker ID: RUVO TESTS      \n"
    "Product Number: T-1234    \n"
    "Version: V1.000\n"
    "Release: 19951105 (Nov 5, 1995)\n"
    "Device Info: CD-1/1  \n"
    "Area Codes: JTUE      \n"
    "Pariphreals(sp?): J               \n"
    "Title: TEST GAME\n"
    "IP Size: $00180000 (1572864)\n"
    "Master SP: $06002000 (100671488)\n"
    "Slave  SP: $06001000 (100667392)\n"
    "First Read Address: $06004000 (100679680)\n"
    "First Read Size: $FFFFFFFF (4294967295)\n";

std::string raw_image(const std::string& area, unsigned char mode, std::size_t sectors) {
  return raw_sector::raw_sectors(area, mode, sectors);
}

std::string fill(std::string text,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  for (const auto& [placeholder, value] : values)
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  return text;
}

std::string image_file(const std::string& bytes) {
  const std::string path = test_support::make_temp_dir() + "/disc.bin";
  test_support::write_file(path, bytes);
  return path;
}

fake_drive make_fake_drive() {
  fake_drive drive;
  drive.log = test_support::make_temp_dir() + "/drive.log";
  drive.options.env = {
      std::string("LD_PRELOAD=") + FAKE_CDROM_PATH,
      "FAKE_CDROM_LOG=" + drive.log,
      test_support::asan_options_for_preloading(),
  };
  return drive;
}

std::string requests(const fake_drive& drive) { return test_support::read_file(drive.log); }

test_support::run_options through_shell(const fake_drive& drive) {
  test_support::run_options options = drive.options;
  for (auto& entry : options.env)
    if (entry.starts_with("LD_PRELOAD=")) entry.replace(0, 2, "RUVO");
  return options;
}

std::string make_fifo() {
  const std::string path = test_support::make_temp_dir() + "/drive";
  if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  return path;
}

bool blocked_in(pid_t pid, long call) {
  const std::string path = "/proc/" + std::to_string(pid) + "/syscall";
  int seen = 0;
  for (int tries = 0; tries < 1000 && seen < 3; ++tries) {
    std::ifstream file(path);
    long number = -1;
    seen = file >> number && number == call ? seen + 1 : 0;
    usleep(10000);
  }
  return seen == 3;
}

}  // namespace ruvo_test
