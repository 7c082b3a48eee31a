// Text encodings. Inside the program all text is UTF-8; files and the network use the
// ANSI code page (Windows-1252) or, for old zip entry names, the OEM code page (850).
#pragma once

#include <string>
#include <string_view>

namespace klv {

enum class CodePage { kAnsi1252, kOem850 };

// Single-byte text to UTF-8. Every byte has a character.
std::string CodePageToUtf8(std::string_view bytes, CodePage code_page);
// UTF-8 to single-byte text; characters the code page cannot hold become '?'.
// Invalid UTF-8 sequences count as such characters.
std::string Utf8ToCodePage(std::string_view utf8, CodePage code_page);

// UTF-16 (little- or big-endian bytes) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);
// Replaces invalid sequences of a UTF-8 text by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);

// Decodes the next code point of a UTF-8 text at `pos` and advances `pos`. Invalid
// sequences yield U+FFFD and advance by one byte.
char32_t NextCodePoint(std::string_view utf8, size_t& pos);
void AppendUtf8(std::string& out, char32_t code_point);

}  // namespace klv
