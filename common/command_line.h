// The one command-line switch the updater understands.
#pragma once

#include <string>
#include <vector>

namespace klv {

// True when a parameter is "/" or "-" followed by exactly "update" in any letter case:
// /update and -UPDATE count; update, /updates and /update:1 do not.
bool HasUpdateSwitch(const std::vector<std::string>& parameters);

}  // namespace klv
