// Four-part version numbers of components: read from a program file's version resource,
// parsed from the catalog's text and written as text for the log and the server request.
// None of these operations fails; every problem yields a special value or a zero field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace klv {

struct TVersionNumber {
  int32_t Major = 0;
  int32_t Minor = 0;
  int32_t Release = 0;
  int32_t Build = 0;

  friend bool operator==(const TVersionNumber&, const TVersionNumber&) = default;
};

// The file asked for does not exist.
inline constexpr TVersionNumber kMissingFileVersion{-1, -1, -1, -1};
// The file exists but carries no readable version.
inline constexpr TVersionNumber kNoVersion{0, 0, 0, 0};

// The file version from the fixed part of the file's version resource (each field 0 to
// 65,535); kMissingFileVersion when no file `path` exists (a folder is not a file);
// kNoVersion when the file cannot be read or has no valid version resource.
TVersionNumber GetFileVersion(const std::string& path);

// Parses "Major.Minor.Release.Build" leniently: missing fields are 0, a field that is not a
// valid 32-bit integer (see TryStrToInt in common/integer_text.h) is 0, a fifth field and beyond
// are ignored. `text` is single-byte (ANSI) text.
TVersionNumber StrToVersion(std::string_view text);

// The four fields as decimal integers joined by full stops, e.g. "1.2.3.4", "-1.-1.-1.-1".
std::string VersionToStr(const TVersionNumber& version);

}  // namespace klv
