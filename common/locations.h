// The program's fixed places: the product's program folder and its settings file.
#pragma once

#include <string>

namespace klv {

inline constexpr char kProductFolderName[] = "Velmora";
inline constexpr char kSettingsFileName[] = "KLV.SYS";
inline constexpr char kMainProgramName[] = "KLV.EXE";

struct Locations {
  std::string program_dir;    // `ProgramDir`: program files + "Velmora", trailing separator
  std::string settings_file;  // `SettingsFile`: `ProgramDir` + "KLV.SYS"
};

Locations ComputeLocations();

}  // namespace klv
