#include <cstdio>
#include <string>

#include "app/tool/commands.h"
#include "common/version.h"

namespace klv::tool {

int VersionCommand(const Arguments& args) {
  if (args.empty()) {
    std::fputs("usage: klv_tool version FILE...\n", stderr);
    return 2;
  }
  for (const std::string& file : args) {
    const std::string line = VersionToStr(GetFileVersion(file)) + '\t' + file + '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace klv::tool
