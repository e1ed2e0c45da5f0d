// cputest: loads any file into the emulated memory and traces it as SH-2 code,
// one line per instruction.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "decoder.h"
#include "output.h"
#include "sh2.h"

namespace {

void banner() {
  out::print<"SH-2 CPU Test by the ruvo developers\n">();
  out::print<"This CPU core is part of ruvo. This program was made\n">();
  out::print<"to demonstrate the progress that I am having with ruvo.\n">();
}

void usage(const char* program_name) {
  out::print<"\nUsage: %s [rom file]\n">(program_name);
  out::print<"[rom file] can be any kind of file. This program will\n">();
  out::print<"try to execute it in the sh2 cpu.\n">();
}

// Pipes, sockets and directories have no length we can trust; they are
// refused rather than read until they end.
bool has_no_length(mode_t mode) { return S_ISDIR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode); }

// The file's length in bytes, or -1 when it cannot be determined.
off_t measure(std::FILE* file) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || has_no_length(info.st_mode)) return -1;
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  const off_t size = ftello(file);
  std::rewind(file);
  return size;
}

// Copies the file into memory from address 0 and returns the number of bytes
// stored, which is less than expected only if the file shrank meanwhile.
// Expected is at most the memory's size, so the file is read straight into it.
std::uint32_t load(std::FILE* file, std::uint32_t expected) {
  std::uint32_t address = 0;
  while (address < expected) {
    const std::size_t want = std::min<std::size_t>(65536, expected - address);
    const std::size_t got = std::fread(&sh2_memory[address], 1, want, file);
    address += static_cast<std::uint32_t>(got);
    if (got < want) break;
  }
  return address;
}

// Kept out of main so that the loop gets the registers to itself.
[[gnu::noinline]] void trace(std::uint32_t end) {
  sh2_state.PC = 0;
  sh2_state.SR = 0;
  look_ahead next;
  while (trace_goes_on(end)) trace_instruction(next);
}

}  // namespace

int main(int argc, char** argv) {
  out::start();
  banner();
  if (argc != 2) {
    usage(argc > 0 ? argv[0] : "cputest");
    return 1;
  }
  const char* path = argv[1];
  // Opening a FIFO would wait for a writer; refuse it before it can block.
  struct stat info {};
  if (stat(path, &info) == 0 && has_no_length(info.st_mode)) {
    out::print<"Cannot determine the size of %s!\n">(path);
    return 1;
  }
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    out::print<"Cannot open %s!\n">(path);
    return 1;
  }
  const off_t size = measure(file);
  if (size < 0) {
    std::fclose(file);
    out::print<"Cannot determine the size of %s!\n">(path);
    return 1;
  }
  if (size > static_cast<off_t>(memory_size)) {
    std::fclose(file);
    out::print<"%s does not fit in the 16 MiB memory!\n">(path);
    return 1;
  }
  prepare_memory(static_cast<std::uint32_t>(size));
  const std::uint32_t loaded = load(file, static_cast<std::uint32_t>(size));
  std::fclose(file);

  build_decode_table();
  trace(loaded);
  return 0;
}
