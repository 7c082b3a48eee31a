#include "common/text.h"

#include "common/codepage.h"

namespace klv {

char32_t FoldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  // Latin-1: À..Þ except ×.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  // Latin Extended-A: pairs of capital (even) and small (odd) letters, with the exceptions
  // of the block (0x130-0x131 dotted/dotless i, 0x138 kra, 0x139-0x148 and 0x179-0x17E odd
  // capitals, 0x178 Ÿ).
  if (c == 0x178) return 0xFF;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F) {
    return (c & 1) ? c : c + 1;
  }
  // Greek capitals Α..Ω (0x391-0x3A9, no 0x3A2) and Cyrillic Ѐ..Я.
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = FoldCase(NextCodePoint(a, i));
    const char32_t y = FoldCase(NextCodePoint(b, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string FoldCaseText(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) AppendUtf8(folded, FoldCase(NextCodePoint(text, pos)));
  return folded;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

bool IsBlank(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 32) return false;
  }
  return true;
}

std::string ExtractFileBaseName(std::string_view path) {
  const auto separator = path.find_last_of("\\:");
  std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace klv
