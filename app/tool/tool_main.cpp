// klv_tool: small commands for support staff that share the updater's code.
#include <cstdio>
#include <string>
#include <string_view>

#include "app/tool/commands.h"

namespace {

struct Command {
  std::string_view name;
  int (*run)(const klv::tool::Arguments&);
  std::string_view usage;
};

constexpr Command kCommands[] = {
    {"version", klv::tool::VersionCommand, "version FILE...       file versions of program files"},
    {"expand", klv::tool::ExpandCommand, "expand TEXT           expand path macros"},
    {"request", klv::tool::RequestCommand,
     "request               the request body this machine posts"},
    {"zip", klv::tool::ZipCommand, "zip list|extract|test ARCHIVE [INDEX]"},
};

int Usage() {
  std::fputs("usage: klv_tool COMMAND [ARGS]\n", stderr);
  for (const Command& command : kCommands) {
    std::fprintf(stderr, "  klv_tool %.*s\n", static_cast<int>(command.usage.size()),
                 command.usage.data());
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view name = argv[1];
  for (const Command& command : kCommands) {
    if (command.name == name) return command.run(klv::tool::Arguments(argv + 2, argv + argc));
  }
  return Usage();
}
