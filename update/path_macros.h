// Macros in target names: "$(System32)" is the 32-bit system folder, "$(NAME)" any other
// name is the environment variable NAME.
#pragma once

#include <string>

namespace klv {

// Upper bounds of one expansion: a variable whose value brings in its own macro would
// otherwise expand for ever. Past them the path is returned as far as it was expanded.
inline constexpr int kMaxMacroPasses = 256;
inline constexpr size_t kMaxExpandedLength = 32767;

// Replaces the macros of `path` in place, first to last, starting again from the beginning
// after each replacement. Stops when no "$(" is left, or when the first ")" of the text lies
// before the first "$(". Never fails.
void ExpandPathMacros(std::string& path);

// The real path of a target name: macros expanded, then in native form ("\" becomes "/" on
// POSIX).
std::string TargetPath(const std::string& name);

}  // namespace klv
