#include "tests/support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace klv::testing {

namespace {

// Reads both pipes until they close, so neither can fill up and block the child.
void Drain(int out_fd, int err_fd, ProgramResult& result) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&result.standard_output, &result.standard_error};
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

SpawnArguments::SpawnArguments(const std::string& program, const std::vector<std::string>& args,
                               const std::map<std::string, std::optional<std::string>>& env)
    : argv_text_{program} {
  argv_text_.insert(argv_text_.end(), args.begin(), args.end());
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (env.count(text.substr(0, text.find('='))) == 0) env_text_.push_back(text);
  }
  for (const auto& [name, value] : env) {
    if (value) env_text_.push_back(name + "=" + *value);
  }
  for (std::string& a : argv_text_) argv_.push_back(a.data());
  argv_.push_back(nullptr);
  for (std::string& e : env_text_) envp_.push_back(e.data());
  envp_.push_back(nullptr);
}

std::string CopyOfProgram(const std::string& built, const std::string& folder) {
  std::filesystem::create_directories(folder);
  const std::string copy = folder + "/" + std::filesystem::path(built).filename().string();
  std::filesystem::copy_file(built, copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  return copy;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& env) {
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  SpawnArguments arguments(program, args, env);
  pid_t pid = 0;
  const int rc =
      ::posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments.argv(), arguments.envp());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ProgramResult result;
  if (rc != 0) {
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
  }
  Drain(out_pipe[0], err_pipe[0], result);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string BuiltProgram(const std::string& relative_path) {
  return BinaryDir() + "/" + relative_path;
}

std::optional<std::string> ReadFifoLine(const std::string& path, int timeout_ms) {
  // Opened for writing too, so the FIFO never reports a hang-up between writers and poll()
  // waits until data arrives.
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open fifo " + path);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[512];
  while (text.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd pfd{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (text.find('\n') == std::string::npos) return std::nullopt;
  return text.substr(0, text.find('\n'));
}

}  // namespace klv::testing
