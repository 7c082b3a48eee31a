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

// Path of a program built in the binary tree, e.g. BuiltProgram("app/klv_upd").
std::string BuiltProgram(const std::string& relative_path);

// Waits until the FIFO at `path` gets a writer that writes a line, up to `timeout_ms`.
// Answers what was written, or nullopt on time-out.
std::optional<std::string> ReadFifoLine(const std::string& path, int timeout_ms);

}  // namespace klv::testing
