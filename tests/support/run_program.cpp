#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace test_support {
namespace {

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Reads what is available; returns false once the pipe is closed (or, for a
// pseudo-terminal, once the child's side of it is: EIO).
bool drain(int fd, std::string& into) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) {
      into.append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// The test's own environment with the given "NAME=value" entries in place of
// any variables of the same names.
std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    bool replaced = false;
    for (const auto& e : extra)
      if (text.starts_with(std::string_view(e).substr(0, e.find('=') + 1))) replaced = true;
    if (!replaced) env.emplace_back(text);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// Waits for output until the child's deadline and takes what has come; false
// once the deadline has passed.
bool read_some(running_program& child) {
  pollfd fds[2] = {{child.out_open ? child.out_fd : -1, POLLIN, 0},
                   {child.err_open ? child.err_fd : -1, POLLIN, 0}};
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      child.deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  poll(fds, 2, static_cast<int>(left.count()));
  if (child.out_open) child.out_open = drain(child.out_fd, child.result.out);
  if (child.err_open) child.err_open = drain(child.err_fd, child.result.err);
  return true;
}

// Closes the pipes and collects the exit status.
program_result reap(running_program& child) {
  close(child.out_fd);
  close(child.err_fd);
  child.out_fd = child.err_fd = -1;
  child.out_open = child.err_open = false;
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  child.result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  child.result.term_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return child.result;
}

struct temp_dirs {
  std::vector<std::string> paths;
  ~temp_dirs() {
    for (const auto& p : paths) {
      std::error_code ignored;
      std::filesystem::remove_all(p, ignored);
    }
  }
};

// A pseudo-terminal that passes every byte unchanged: [0] the test's side,
// [1] the child's.
void open_terminal(int ends[2]) {
  ends[0] = posix_openpt(O_RDWR | O_NOCTTY);
  char name[64];
  if (ends[0] < 0 || grantpt(ends[0]) != 0 || unlockpt(ends[0]) != 0 ||
      ptsname_r(ends[0], name, sizeof name) != 0)
    throw std::runtime_error("no pseudo-terminal");
  ends[1] = open(name, O_RDWR | O_NOCTTY);
  termios mode;
  if (ends[1] < 0 || tcgetattr(ends[1], &mode) != 0) throw std::runtime_error("no pseudo-terminal");
  cfmakeraw(&mode);
  tcsetattr(ends[1], TCSANOW, &mode);
}

}  // namespace

running_program start_program(const std::vector<std::string>& argv, const run_options& options) {
  int out_pipe[2], err_pipe[2], in_pipe[2];
  const auto open_output = [](int ends[2], bool terminal) {
    if (terminal)
      open_terminal(ends);
    else if (pipe(ends) != 0)
      throw std::runtime_error("pipe failed");
  };
  open_output(out_pipe, options.terminal);
  open_output(err_pipe, options.error_terminal);
  if (pipe(in_pipe) != 0) throw std::runtime_error("pipe failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, options.out_fd >= 0 ? options.out_fd : out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
    posix_spawn_file_actions_addclose(&actions, fd);

  // Whatever the test runner did with them (it ignores SIGPIPE), the child gets
  // these signals with their default actions and unblocked.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults, no_signals;
  sigemptyset(&defaults);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaddset(&defaults, signal_number);
  sigemptyset(&no_signals);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::vector<std::string> env_entries = child_environment(options.env);
  std::vector<char*> env;
  for (const auto& e : env_entries) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  running_program child;
  const int spawned =
      posix_spawn(&child.pid, args[0], &actions, &attributes, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);

  // The input is small; a child that does not read it must not block us.
  signal(SIGPIPE, SIG_IGN);
  if (!options.input.empty()) {
    [[maybe_unused]] const ssize_t ignored =
        write(in_pipe[1], options.input.data(), options.input.size());
  }
  close(in_pipe[1]);

  set_nonblocking(out_pipe[0]);
  set_nonblocking(err_pipe[0]);
  child.out_fd = out_pipe[0];
  child.err_fd = err_pipe[0];
  child.out_open = options.out_fd < 0;
  child.err_open = true;
  child.deadline = std::chrono::steady_clock::now() + options.timeout;
  return child;
}

bool wait_for_output(running_program& child, std::string_view text) {
  while (child.result.out.find(text) == std::string::npos) {
    if (!child.out_open && !child.err_open) return false;
    if (!read_some(child)) return false;
  }
  return true;
}

program_result finish_program(running_program& child,
                              std::optional<std::chrono::milliseconds> within) {
  if (within) child.deadline = std::chrono::steady_clock::now() + *within;
  while (child.out_open || child.err_open) {
    if (!read_some(child)) {
      child.result.timed_out = true;
      kill(child.pid, SIGKILL);
      break;
    }
  }
  return reap(child);
}

program_result run_program(const std::vector<std::string>& argv, const run_options& options) {
  running_program child = start_program(argv, options);
  bool killed = false;
  while (child.out_open || child.err_open) {
    if (!read_some(child)) {
      child.result.timed_out = true;
      break;
    }
    if (options.max_output != 0 && child.result.out.size() >= options.max_output) {
      killed = true;
      break;
    }
  }
  if (child.result.timed_out || killed) kill(child.pid, SIGKILL);
  program_result result = reap(child);
  if (killed) result.term_signal = 0;
  return result;
}

std::string make_temp_dir() {
  static temp_dirs dirs;
  std::string pattern = (std::filesystem::temp_directory_path() / "ruvo-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dirs.paths.push_back(pattern);
  return pattern;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::string asan_options_for_preloading() {
  const char* const asan = std::getenv("ASAN_OPTIONS");
  return std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
         "verify_asan_link_order=0";
}

}  // namespace test_support
