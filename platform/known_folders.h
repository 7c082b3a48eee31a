// System folders by their Windows CSIDL number, each with a trailing separator.
#pragma once

#include <string>

namespace klv::platform {

inline constexpr int kCsidlProgramFiles = 38;
inline constexpr int kCsidlCommonAppData = 35;
inline constexpr int kCsidlSystemX86 = 41;

// The folder's path (at most 256 characters of it) with a trailing separator. On POSIX the
// three folders come from $KLV_PROGRAM_FILES, $KLV_COMMON_APPDATA and $KLV_SYSTEM32, else
// /opt, /var/lib and /usr/lib. An unknown number gives the empty text.
std::string GetSpecialFolderPath(int csidl);

}  // namespace klv::platform
