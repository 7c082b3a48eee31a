#include "common/locations.h"

#include "platform/file_system.h"
#include "platform/known_folders.h"

namespace klv {

Locations ComputeLocations() {
  Locations locations;
  locations.program_dir = platform::GetSpecialFolderPath(platform::kCsidlProgramFiles) +
                          kProductFolderName + platform::kPathSeparator;
  locations.settings_file = locations.program_dir + kSettingsFileName;
  return locations;
}

}  // namespace klv
