#include "update/install_file.h"

#include "platform/file_system.h"

namespace klv {

namespace {

constexpr char kAsideExtension[] = ".$$$";

bool WriteReplacing(const ContentWriter& write, const std::string& path, std::string_view content,
                    const std::string& attributes_from) {
  try {
    write(path, content, attributes_from);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string AsideName(const std::string& target) {
  const auto name_start = target.find_last_of("/\\:");
  const auto dot = target.find_last_of('.');
  const bool has_extension =
      dot != std::string::npos && (name_start == std::string::npos || dot > name_start);
  return (has_extension ? target.substr(0, dot) : target) + kAsideExtension;
}

bool InstallFile(const std::string& target, std::string_view content, const ContentWriter& write) {
  // A running program can be renamed but not written: it takes the aside path.
  if (platform::CanOpenForWriting(target) && WriteReplacing(write, target, content, {})) {
    return true;
  }
  const std::string aside = AsideName(target);
  if (!platform::RenameFile(target, aside)) return false;
  if (WriteReplacing(write, target, content, aside)) return true;
  // Without the new content, the old file goes back under its name: the product must start.
  platform::RenameFile(aside, target);
  return false;
}

}  // namespace klv
