#include "common/version.h"

#include "common/pe_version_resource.h"
#include "platform/file_system.h"

namespace klv {

namespace {

constexpr char kFieldSeparator = '.';
constexpr int kFieldCount = 4;
constexpr int64_t kInt32Max = 2147483647;
constexpr int64_t kInt32MinMagnitude = 2147483648;  // the magnitude of the lowest value

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value < base ? value : -1;
}

}  // namespace

std::optional<int32_t> TextToInt32(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < text.size() && (text[pos] == '$' || text[pos] == 'x' || text[pos] == 'X')) {
    base = 16;
    pos += 1;
  } else if (pos + 1 < text.size() && text[pos] == '0' &&
             (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos == text.size()) return std::nullopt;  // no digits at all

  // The magnitude must fit the signed range: up to 2^31 - 1, or 2^31 after a minus sign.
  // This holds for hexadecimal digits too. The run time library lets hexadecimal values up
  // to $FFFFFFFF wrap round to negative numbers ("$FFFFFFFF" gives -1); here they are out
  // of range like any other value above 2^31 - 1 and give 0, so a hexadecimal field can
  // never turn into the -1 that marks a missing file, and one rule covers every base.
  const int64_t limit = negative ? kInt32MinMagnitude : kInt32Max;
  int64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const int digit = DigitValue(text[pos], base);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

TVersionNumber StrToVersion(std::string_view text) {
  // Four separators are appended so that every field finds its closing full stop.
  std::string rest(text);
  rest.append(kFieldCount, kFieldSeparator);
  int32_t fields[kFieldCount] = {};
  size_t start = 0;
  for (int32_t& field : fields) {
    const size_t stop = rest.find(kFieldSeparator, start);
    field = TextToInt32(std::string_view(rest).substr(start, stop - start)).value_or(0);
    start = stop + 1;
  }
  return {fields[0], fields[1], fields[2], fields[3]};
}

std::string VersionToStr(const TVersionNumber& version) {
  return std::to_string(version.Major) + kFieldSeparator + std::to_string(version.Minor) +
         kFieldSeparator + std::to_string(version.Release) + kFieldSeparator +
         std::to_string(version.Build);
}

TVersionNumber GetFileVersion(const std::string& path) {
  if (!platform::FileExists(path)) return kMissingFileVersion;
  const std::optional<FixedFileVersion> fixed = ReadFixedFileVersionFromFile(path);
  if (!fixed) return kNoVersion;
  // Each field is an unsigned 16-bit half of the file version's double words.
  return {static_cast<int32_t>(fixed->file_version_ms >> 16),
          static_cast<int32_t>(fixed->file_version_ms & 0xFFFF),
          static_cast<int32_t>(fixed->file_version_ls >> 16),
          static_cast<int32_t>(fixed->file_version_ls & 0xFFFF)};
}

}  // namespace klv
