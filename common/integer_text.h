// The platform's conversion of text to a 32-bit integer, as the settings file and the
// version texts use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace klv {

// Leading blanks are skipped, then an optional "+" or "-", then decimal digits, or hex digits
// after a "$", "x", "X", "0x" or "0X" prefix. Anything else (a trailing blank included), no
// digits at all, or a value outside the signed 32-bit range gives nullopt.
std::optional<int32_t> TryStrToInt(std::string_view text);

// TryStrToInt with a default for invalid text.
inline int32_t StrToIntDef(std::string_view text, int32_t default_value) {
  return TryStrToInt(text).value_or(default_value);
}

}  // namespace klv
