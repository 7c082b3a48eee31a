#include "common/command_line.h"

#include <string_view>

#include "common/text.h"

namespace klv {

bool HasUpdateSwitch(const std::vector<std::string>& parameters) {
  for (const std::string& parameter : parameters) {
    if (parameter.size() > 1 && (parameter[0] == '/' || parameter[0] == '-') &&
        SameTextIgnoreCase(std::string_view(parameter).substr(1), "update")) {
      return true;
    }
  }
  return false;
}

}  // namespace klv
