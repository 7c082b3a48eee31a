// The process-wide facts fixed at start-up that the update run reads.
#pragma once

#include <string>

namespace klv {

struct StartupContext {
  std::string program_dir;    // `ProgramDir`, with a trailing separator
  std::string settings_file;  // `SettingsFile`
  std::string program_file;   // the running program's full path
  bool debugger_present = false;
  bool update_switch = false;  // "/update" or "-update" was given
};

}  // namespace klv
