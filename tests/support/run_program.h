// Runs a built program for a test and collects what it did.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace klv::testing {

struct ProgramResult {
  int exit_code = -1;  // -1 when it did not end normally
  std::string standard_output;
  std::string standard_error;
};

// Runs `program` with `args`; `env` entries are set (a nullopt value removes the variable)
// on top of this process's environment. Waits for the program to end.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& env = {});

// argv and envp for posix_spawn: `program` and `args`, and this process's environment with
// `env` applied (a nullopt value removes the variable). Owns the strings it points to.
class SpawnArguments {
 public:
  SpawnArguments(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::optional<std::string>>& env);
  char* const* argv() { return argv_.data(); }
  char* const* envp() { return envp_.data(); }

 private:
  std::vector<std::string> argv_text_;
  std::vector<std::string> env_text_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

// Copies the built program `built` into `folder` (created when missing) and answers the copy's
// path. A copy at a path of its own has a single-instance record of its own, so tests that run
// at the same time never refuse each other.
std::string CopyOfProgram(const std::string& built, const std::string& folder);

// Path of a program built in the binary tree, e.g. BuiltProgram("app/klv_upd").
std::string BuiltProgram(const std::string& relative_path);

// Waits until the FIFO at `path` gets a writer that writes a line, up to `timeout_ms`.
// Answers what was written, or nullopt on time-out.
std::optional<std::string> ReadFifoLine(const std::string& path, int timeout_ms);

}  // namespace klv::testing
