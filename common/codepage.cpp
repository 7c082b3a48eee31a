#include "common/codepage.h"

namespace klv {

namespace {

#include "common/codepage_tables.inc"

constexpr char32_t kReplacement = 0xFFFD;

const char16_t* HighHalf(CodePage code_page) {
  return code_page == CodePage::kAnsi1252 ? kCp1252High : kCp850High;
}

int FindByte(CodePage code_page, char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  const char16_t* high = HighHalf(code_page);
  for (int i = 0; i < 128; ++i) {
    if (high[i] == cp) return 0x80 + i;
  }
  return -1;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t NextCodePoint(std::string_view s, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + length > s.size()) {
    ++pos;
    return kReplacement;
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += length;
  return cp;
}

std::string CodePageToUtf8(std::string_view bytes, CodePage code_page) {
  const char16_t* high = HighHalf(code_page);
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b < 0x80 ? b : high[b - 0x80]);
  }
  return out;
}

std::string Utf8ToCodePage(std::string_view utf8, CodePage code_page) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const int b = FindByte(code_page, NextCodePoint(utf8, pos));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  std::string out;
  const auto unit = [&](size_t i) -> char16_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? static_cast<char16_t>(a << 8 | b) : static_cast<char16_t>(b << 8 | a);
  };
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const char16_t u = unit(2 * i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char16_t low = unit(2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, u);  // an unpaired surrogate becomes U+FFFD there
  }
  return out;
}

std::string SanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) AppendUtf8(out, NextCodePoint(bytes, pos));
  return out;
}

}  // namespace klv
