#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

extern char** environ;

namespace klv::platform {

std::string ProgramFilePath() {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return {};
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

std::vector<std::string> CommandLineParameters(int argc, char** argv) {
  std::vector<std::string> parameters;
  for (int i = 1; i < argc; ++i) parameters.emplace_back(argv[i]);
  return parameters;
}

bool DebuggerPresent() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
  }
  return false;
}

std::optional<std::string> GetEnvironmentVariable(const std::string& name) {
  if (name.find('=') != std::string::npos) return std::nullopt;
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void StartProgramDetached(const std::string& program, const std::string& parameter,
                          const std::string& folder) {
  // Double fork: the grandchild is adopted by init, so nobody has to wait for it.
  const pid_t child = ::fork();
  if (child < 0) return;
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    if (::chdir(folder.c_str()) != 0) ::_exit(127);
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, STDIN_FILENO);
      ::dup2(null_fd, STDOUT_FILENO);
      ::dup2(null_fd, STDERR_FILENO);
    }
    char* const args[] = {const_cast<char*>(program.c_str()), const_cast<char*>(parameter.c_str()),
                          nullptr};
    ::execve(program.c_str(), args, environ);
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

}  // namespace klv::platform
