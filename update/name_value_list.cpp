#include "update/name_value_list.h"

#include <algorithm>

#include "common/codepage.h"
#include "common/text.h"
#include "platform/file_system.h"

namespace klv {

namespace {

std::string DecodeStateText(std::string_view bytes) {
  std::string text;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    text = SanitizeUtf8(bytes.substr(3));
  } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    text = Utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
  } else {
    text = CodePageToUtf8(bytes, CodePage::kAnsi1252);
  }
  // A NUL character ends the text.
  if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

void NameValueList::SetText(std::string_view bytes) {
  lines_ = SplitLines(DecodeStateText(bytes));
}

std::string NameValueList::Text() const {
  return Utf8ToCodePage(JoinLinesCrLf(lines_), CodePage::kAnsi1252);
}

void NameValueList::LoadFromFile(const std::string& path) {
  SetText(platform::ReadWholeFile(path));
}

void NameValueList::SaveToFile(const std::string& path) const {
  platform::ReplaceFileContent(path, Text());
}

std::string NameValueList::Name(size_t index) const {
  const std::string& line = lines_[index];
  const auto equals = line.find('=');
  return equals == std::string::npos ? std::string() : line.substr(0, equals);
}

std::string NameValueList::Value(size_t index) const {
  const std::string& line = lines_[index];
  const auto equals = line.find('=');
  return equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

std::optional<size_t> NameValueList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const auto equals = lines_[i].find('=');
    if (equals == std::string::npos) continue;
    if (SameTextIgnoreCase(std::string_view(lines_[i]).substr(0, equals), name)) return i;
  }
  return std::nullopt;
}

void NameValueList::Delete(size_t index) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void NameValueList::Sort() {
  std::stable_sort(lines_.begin(), lines_.end(), [](const std::string& a, const std::string& b) {
    return CompareTextIgnoreCase(a, b) < 0;
  });
}

}  // namespace klv
