#include "common/version.h"

#include "common/integer_text.h"
#include "common/pe_version_resource.h"
#include "platform/file_system.h"

namespace klv {

namespace {

constexpr char kFieldSeparator = '.';
constexpr int kFieldCount = 4;

}  // namespace

TVersionNumber StrToVersion(std::string_view text) {
  // Four separators are appended so that every field finds its closing full stop. A field
  // that is not a valid integer is 0. Hexadecimal fields obey the same signed range as
  // decimal ones: the run time library lets values from $80000000 to $FFFFFFFF wrap round to
  // negative numbers ("$FFFFFFFF" gives -1), but here they are out of range and give 0, so
  // no hexadecimal text can turn into the -1 that marks a missing file.
  std::string rest(text);
  rest.append(kFieldCount, kFieldSeparator);
  int32_t fields[kFieldCount] = {};
  size_t start = 0;
  for (int32_t& field : fields) {
    const size_t stop = rest.find(kFieldSeparator, start);
    field = StrToIntDef(std::string_view(rest).substr(start, stop - start), 0);
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
  // A pipe or device carries no version, and opening it could wait for ever.
  if (!platform::IsRegularFile(path)) return kNoVersion;
  const std::optional<FixedFileVersion> fixed = ReadFixedFileVersionFromFile(path);
  if (!fixed) return kNoVersion;
  // Each field is an unsigned 16-bit half of the file version's double words.
  return {static_cast<int32_t>(fixed->file_version_ms >> 16),
          static_cast<int32_t>(fixed->file_version_ms & 0xFFFF),
          static_cast<int32_t>(fixed->file_version_ls >> 16),
          static_cast<int32_t>(fixed->file_version_ls & 0xFFFF)};
}

}  // namespace klv
