#include <cstdio>

#include "app/tool/commands.h"

namespace klv::tool {

int VersionCommand(const Arguments&) {
  std::fputs("klv_tool: version: not available yet\n", stderr);
  return 2;
}

}  // namespace klv::tool
