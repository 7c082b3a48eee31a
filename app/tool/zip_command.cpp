#include <cstdio>

#include "app/tool/commands.h"

namespace klv::tool {

int ZipCommand(const Arguments&) {
  std::fputs("klv_tool: zip: not available yet\n", stderr);
  return 2;
}

}  // namespace klv::tool
