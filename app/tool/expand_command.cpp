#include <cstdio>

#include "app/tool/commands.h"

namespace klv::tool {

int ExpandCommand(const Arguments&) {
  std::fputs("klv_tool: expand: not available yet\n", stderr);
  return 2;
}

}  // namespace klv::tool
