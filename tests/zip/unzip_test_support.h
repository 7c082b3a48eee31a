// Helpers shared by the component's tests: a host that records what the reader asks of the
// window, and running shell commands used as independent oracles.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zip/zip_host.h"

namespace klv::testing {

class RecordingHost : public zip::ZipHost {
 public:
  void ProcessMessages() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  int ShowMessage(const std::string& text, const std::string& caption, unsigned) override {
    messages.push_back(caption + ": " + text);
    return 0;
  }
  void PauseWait() override { ++pause_waits; }

  int pumps = 0;
  int pause_waits = 0;
  std::vector<std::string> messages;
  std::function<void()> on_pump;
};

struct CommandResult {
  int status = -1;
  std::string output;  // standard output
};

// Runs a shell command and collects its standard output.
inline CommandResult RunShell(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline bool HaveProgram(const std::string& name) {
  return RunShell("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// Quotes a path for the shell.
inline std::string QuoteArg(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace klv::testing
