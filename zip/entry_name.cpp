#include "zip/entry_name.h"

#include <algorithm>

#include "common/codepage.h"

namespace klv::zip {

namespace {

constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kHostMask = 0x0B00;  // host byte 11 keeps its names as they are

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

std::string WithBackslashes(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

}  // namespace

std::string DecodeEntryName(std::string_view raw, uint16_t flags, uint16_t version_made_by,
                            TOemConvert oem_convert) {
  // ASCII reads the same through every rule.
  if (std::all_of(raw.begin(), raw.end(), [](char c) { return (c & 0x80) == 0; })) {
    return WithBackslashes(std::string(raw));
  }
  if ((flags & kFlagUtf8Name) == 0 && oem_convert == TOemConvert::OemFlexible &&
      (version_made_by & kHostMask) != kHostMask) {
    // OEM -> ANSI (A), then A -> OEM (B): a name that comes back unchanged is OEM text.
    const std::string unicode = CodePageToUtf8(raw, CodePage::kOem850);
    const std::string ansi = Utf8ToCodePage(unicode, CodePage::kAnsi1252);
    const std::string back =
        Utf8ToCodePage(CodePageToUtf8(ansi, CodePage::kAnsi1252), CodePage::kOem850);
    if (SameIgnoringAsciiCase(back, raw)) {
      return WithBackslashes(CodePageToUtf8(ansi, CodePage::kAnsi1252));
    }
  }
  return WithBackslashes(SanitizeUtf8(raw));
}

std::string DecodeUnicodePath(std::string_view raw) {
  return WithBackslashes(SanitizeUtf8(raw));
}

void SplitEntryPath(std::string_view path, std::string& directory, std::string& file_name) {
  const size_t cut = path.find_last_of("\\:");
  if (cut == std::string_view::npos) {
    directory.clear();
    file_name = std::string(path);
    return;
  }
  file_name = std::string(path.substr(cut + 1));
  directory = std::string(path.substr(0, cut + 1));
  while (directory.size() >= 2 && directory.ends_with("\\\\")) directory.pop_back();
  if (directory.back() != '\\') directory += '\\';
}

}  // namespace klv::zip
