#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace test_support {
namespace {

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Reads what is available; returns false once the pipe is closed.
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

struct temp_dirs {
  std::vector<std::string> paths;
  ~temp_dirs() {
    for (const auto& p : paths) {
      std::error_code ignored;
      std::filesystem::remove_all(p, ignored);
    }
  }
};

}  // namespace

program_result run_program(const std::vector<std::string>& argv, const run_options& options) {
  int out_pipe[2], err_pipe[2], in_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0 || pipe(in_pipe) != 0)
    throw std::runtime_error("pipe failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
    posix_spawn_file_actions_addclose(&actions, fd);

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
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

  program_result result{};
  set_nonblocking(out_pipe[0]);
  set_nonblocking(err_pipe[0]);
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  bool out_open = true, err_open = true, killed = false;
  while (out_open || err_open) {
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      break;
    }
    poll(fds, 2, static_cast<int>(left.count()));
    if (out_open) out_open = drain(out_pipe[0], result.out);
    if (err_open) err_open = drain(err_pipe[0], result.err);
    if (options.max_output != 0 && result.out.size() >= options.max_output) {
      killed = true;
      break;
    }
  }
  if (result.timed_out || killed) kill(pid, SIGKILL);
  close(out_pipe[0]);
  close(err_pipe[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.term_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
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

}  // namespace test_support
