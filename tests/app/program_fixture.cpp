#include "tests/app/program_fixture.h"

#include "tests/support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace klv::testing {

namespace {

// Between two looks at a FIFO for a reader; the reader appears within milliseconds.
constexpr auto kReaderPoll = std::chrono::milliseconds(2);

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ChildProgram::ChildProgram(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::optional<std::string>>& env,
                           std::string output_prefix)
    : output_prefix_(std::move(output_prefix)) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const std::string out = output_prefix_ + ".out";
  const std::string err = output_prefix_ + ".err";
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  SpawnArguments arguments(program, args, env);
  const int rc =
      ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, arguments.argv(), arguments.envp());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd_ < 0) throw std::runtime_error("pidfd_open failed");
}

ChildProgram::~ChildProgram() {
  if (!exit_code_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  ::close(pidfd_);
}

std::optional<int> ChildProgram::WaitExit(int timeout_ms) {
  if (exit_code_) return exit_code_;
  pollfd entry{pidfd_, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return std::nullopt;
  int status = 0;
  if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exit_code_;
}

void ChildProgram::Kill(int signal) {
  if (!exit_code_) ::kill(pid_, signal);
}

std::string ChildProgram::StandardOutput() const {
  return ReadFile(output_prefix_ + ".out");
}

std::string ChildProgram::StandardError() const {
  return ReadFile(output_prefix_ + ".err");
}

HeldFile::HeldFile(std::string path) : path_(std::move(path)) {
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
  if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed: " + path_);
}

HeldFile::~HeldFile() {
  if (writer_ >= 0) ::close(writer_);
}

bool HeldFile::WaitForReader(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  // Opening a FIFO for writing without waiting succeeds only once a reader has it open.
  while (writer_ < 0) {
    writer_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer_ >= 0) break;
    if (errno != ENXIO || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kReaderPoll);
  }
  return true;
}

void HeldFile::Release(const std::string& content) {
  const std::string temporary = path_ + ".new";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << content;
  }
  std::filesystem::rename(temporary, path_);
  if (writer_ >= 0) {
    // The held reader still reads the FIFO: it gets the content, then the end of the file.
    const int flags = ::fcntl(writer_, F_GETFL);
    ::fcntl(writer_, F_SETFL, flags & ~O_NONBLOCK);
    if (::write(writer_, content.data(), content.size()) < 0) {
      throw std::runtime_error("cannot write the held file");
    }
    ::close(writer_);
    writer_ = -1;
  }
}

}  // namespace klv::testing
