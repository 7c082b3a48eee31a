#include "common/ini_file.h"

#include <optional>
#include <vector>

#include "common/codepage.h"
#include "common/integer_text.h"
#include "common/text.h"
#include "platform/file_system.h"

namespace klv {

namespace {

// Longest value text taken, as with a 2,048-character buffer and its terminating NUL.
constexpr size_t kMaxValueLength = 2047;

enum class Encoding { kAnsi, kUtf8Bom, kUtf16Le, kUtf16Be };

// One line of the file in UTF-8, with the line end it had, so that untouched lines are
// written back as they were.
struct Line {
  std::string text;
  std::string end;
};

struct Document {
  Encoding encoding = Encoding::kAnsi;
  std::vector<Line> lines;
};

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Decode(std::string_view bytes, Encoding& encoding) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    encoding = Encoding::kUtf8Bom;
    return SanitizeUtf8(bytes.substr(3));
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    encoding = bytes[0] == '\xFF' ? Encoding::kUtf16Le : Encoding::kUtf16Be;
    return Utf16ToUtf8(bytes.substr(2), encoding == Encoding::kUtf16Be);
  }
  encoding = Encoding::kAnsi;
  return CodePageToUtf8(bytes, CodePage::kAnsi1252);
}

std::string Encode(const std::string& text, Encoding encoding) {
  switch (encoding) {
    case Encoding::kAnsi:
      return Utf8ToCodePage(text, CodePage::kAnsi1252);
    case Encoding::kUtf8Bom:
      return "\xEF\xBB\xBF" + text;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: {
      std::string out = encoding == Encoding::kUtf16Le ? "\xFF\xFE" : "\xFE\xFF";
      for (size_t pos = 0; pos < text.size();) {
        char32_t cp = NextCodePoint(text, pos);
        auto put = [&](char16_t unit) {
          const char hi = static_cast<char>(unit >> 8);
          const char lo = static_cast<char>(unit & 0xFF);
          out += encoding == Encoding::kUtf16Le ? lo : hi;
          out += encoding == Encoding::kUtf16Le ? hi : lo;
        };
        if (cp >= 0x10000) {
          cp -= 0x10000;
          put(static_cast<char16_t>(0xD800 + (cp >> 10)));
          put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
          put(static_cast<char16_t>(cp));
        }
      }
      return out;
    }
  }
  return text;
}

std::optional<Document> Load(const std::string& path) {
  if (!platform::FileExists(path)) return std::nullopt;
  Document doc;
  const std::string text = Decode(platform::ReadWholeFile(path), doc.encoding);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    Line line;
    if (end == std::string::npos) {
      line.text = text.substr(start);
      start = text.size();
    } else {
      line.text = text.substr(start, end - start);
      size_t after = end + 1;
      if (text[end] == '\r' && after < text.size() && text[after] == '\n') ++after;
      line.end = text.substr(end, after - end);
      start = after;
    }
    doc.lines.push_back(std::move(line));
  }
  return doc;
}

// The section name of a "[name]" line, or nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = TrimBlanks(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimBlanks(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nullopt for other lines.
std::optional<std::string_view> KeyName(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return TrimBlanks(line.substr(0, equals));
}

struct Position {
  std::optional<size_t> section;    // index of the "[section]" line
  std::optional<size_t> key;        // index of the key's line
  size_t section_last_content = 0;  // last non-blank line of the section
};

Position Find(const Document& doc, std::string_view section, std::string_view key) {
  Position pos;
  bool inside = false;
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    const std::string& text = doc.lines[i].text;
    if (const auto name = SectionName(text)) {
      if (pos.section) {
        if (inside) break;  // the first matching section ends here
        continue;
      }
      inside = SameTextIgnoreCase(*name, section);
      if (inside) {
        pos.section = i;
        pos.section_last_content = i;
      }
      continue;
    }
    if (!inside) continue;
    if (!IsBlank(text)) pos.section_last_content = i;
    const auto name = KeyName(text);
    if (name && SameTextIgnoreCase(*name, key)) {
      pos.key = i;
      break;
    }
  }
  return pos;
}

std::optional<std::string> ReadValue(const std::string& path, std::string_view section,
                                     std::string_view key) {
  const auto doc = Load(path);
  if (!doc) return std::nullopt;
  const Position pos = Find(*doc, section, key);
  if (!pos.key) return std::nullopt;
  const std::string& text = doc->lines[*pos.key].text;
  std::string_view value = TrimBlanks(std::string_view(text).substr(text.find('=') + 1));
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    value = value.substr(1, value.size() - 2);
  }
  std::string result(value);
  // Cut at a character boundary.
  if (result.size() > kMaxValueLength) {
    size_t pos_in = 0;
    size_t count = 0;
    while (pos_in < result.size() && count < kMaxValueLength) {
      NextCodePoint(result, pos_in);
      ++count;
    }
    result.resize(pos_in);
  }
  return result;
}

}  // namespace

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  return ReadValue(path_, section, key).value_or(std::string(default_value));
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t default_value) const {
  const auto text = ReadValue(path_, section, key);
  if (!text) return default_value;
  return StrToIntDef(*text, default_value);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  return ReadValue(path_, section, key).has_value();
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Document doc = Load(path_).value_or(Document{});
  const std::string entry = std::string(key) + "=" + std::string(value);
  const Position pos = Find(doc, section, key);
  if (pos.key) {
    doc.lines[*pos.key].text = entry;
  } else if (pos.section) {
    Line& last = doc.lines[pos.section_last_content];
    if (last.end.empty()) last.end = "\r\n";
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(pos.section_last_content) + 1,
                     Line{entry, "\r\n"});
  } else {
    if (!doc.lines.empty() && doc.lines.back().end.empty()) doc.lines.back().end = "\r\n";
    doc.lines.push_back(Line{"[" + std::string(section) + "]", "\r\n"});
    doc.lines.push_back(Line{entry, "\r\n"});
  }
  std::string text;
  for (const Line& line : doc.lines) text += line.text + line.end;
  platform::ReplaceFileContent(path_, Encode(text, doc.encoding));
}

}  // namespace klv
