// Text helpers shared by the whole program. Texts are UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace klv {

// Case-insensitive comparison: simple Unicode case folding of ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters, then code-point order. Answers <0, 0 or >0.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);
inline bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  return CompareTextIgnoreCase(a, b) == 0;
}
// The folded form of one code point (lower case where a simple folding exists).
char32_t FoldCase(char32_t code_point);

// The text with every code point folded, for hashing names that compare without case.
std::string FoldCaseText(std::string_view text);

// The lines of a text: CR, LF and CR LF each end a line; a last line without an end is
// still a line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
// Each line followed by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// True when the text is empty after removing leading and trailing characters with codes up
// to 32 (blanks and control characters).
bool IsBlank(std::string_view text);

// The file-name part of a Windows path (after the last "\" or ":") without its extension
// (from the last "."). A "/" is not a separator.
std::string ExtractFileBaseName(std::string_view path);

}  // namespace klv
