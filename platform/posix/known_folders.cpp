#include "platform/known_folders.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace klv::platform {

namespace {

// Longest folder text taken from the system, as with a 260-unit Windows buffer.
constexpr size_t kMaxFolderText = 256;

std::string FromEnvironment(const char* variable, const char* fallback) {
  std::string path = GetEnvironmentVariable(variable).value_or(fallback);
  if (path.size() > kMaxFolderText) path.resize(kMaxFolderText);
  return path;
}

}  // namespace

std::string GetSpecialFolderPath(int csidl) {
  std::string path;
  switch (csidl) {
    case kCsidlProgramFiles:
      path = FromEnvironment("KLV_PROGRAM_FILES", "/opt");
      break;
    case kCsidlCommonAppData:
      path = FromEnvironment("KLV_COMMON_APPDATA", "/var/lib");
      break;
    case kCsidlSystemX86:
      path = FromEnvironment("KLV_SYSTEM32", "/usr/lib");
      break;
    default:
      return {};
  }
  return IncludeTrailingSeparator(path);
}

}  // namespace klv::platform
