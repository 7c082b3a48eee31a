#include <cstdio>
#include <string>

#include "app/tool/commands.h"
#include "update/path_macros.h"

namespace klv::tool {

int ExpandCommand(const Arguments& args) {
  if (args.size() != 1) {
    std::fputs("usage: klv_tool expand TEXT\n", stderr);
    return 2;
  }
  std::string expanded = args[0];
  ExpandPathMacros(expanded);
  std::printf("%s\n%s\n", expanded.c_str(), TargetPath(args[0]).c_str());
  return 0;
}

}  // namespace klv::tool
