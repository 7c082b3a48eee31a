// Process services: own identity, environment, debugger, starting another program.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace klv::platform {

// Full path of the running program file.
std::string ProgramFilePath();
// The command-line parameters after the program's own name.
std::vector<std::string> CommandLineParameters(int argc, char** argv);
// True only when a debugger (a tracer) is attached to this process.
bool DebuggerPresent();
// Value of an environment variable; nullopt when it does not exist.
std::optional<std::string> GetEnvironmentVariable(const std::string& name);
// Starts `program` with the single parameter `parameter`, working folder `folder`, detached
// and hidden; does not wait and does not report the outcome.
void StartProgramDetached(const std::string& program, const std::string& parameter,
                          const std::string& folder);

}  // namespace klv::platform
