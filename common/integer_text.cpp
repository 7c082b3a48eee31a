#include "common/integer_text.h"

namespace klv {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int32_t> TryStrToInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  // Accumulate the magnitude; the negative range reaches one further than the positive.
  const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace klv
