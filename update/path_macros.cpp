#include "update/path_macros.h"

#include "common/text.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/known_folders.h"

namespace klv {

namespace {

constexpr char kSystemFolderMacro[] = "System32";

std::string WithoutOneTrailingSeparator(std::string path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == platform::kPathSeparator)) {
    path.pop_back();
  }
  return path;
}

std::string MacroValue(const std::string& name) {
  if (SameTextIgnoreCase(name, kSystemFolderMacro)) {
    return WithoutOneTrailingSeparator(platform::GetSpecialFolderPath(platform::kCsidlSystemX86));
  }
  return WithoutOneTrailingSeparator(platform::GetEnvironmentVariable(name).value_or(""));
}

}  // namespace

void ExpandPathMacros(std::string& path) {
  for (int pass = 0; pass < kMaxMacroPasses; ++pass) {
    const auto open = path.find("$(");
    const auto close = path.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return;
    const std::string value = MacroValue(path.substr(open + 2, close - open - 2));
    if (path.size() - (close + 1 - open) + value.size() > kMaxExpandedLength) return;
    path.replace(open, close + 1 - open, value);
  }
}

std::string TargetPath(const std::string& name) {
  std::string path = name;
  ExpandPathMacros(path);
  return platform::ToNativePath(path);
}

}  // namespace klv
