#include "tests/support/updater_program.h"

#include "tests/support/temp_dir.h"

namespace klv::testing {

std::string PrivateUpdaterCopy(const std::string& root) {
  return CopyOfProgram(BuiltProgram("app/klv_upd"), root + "bin");
}

ProgramResult RunUpdaterInPrivateNetwork(const std::string& root, const std::string& ports,
                                         const std::vector<std::string>& args) {
  std::vector<std::string> command = {ports, root + "answer.xml", root + "archives",
                                      root + "requests.log", PrivateUpdaterCopy(root)};
  command.insert(command.end(), args.begin(), args.end());
  return RunProgram(SourceDir() + "/tests/app/run_in_private_network.sh", command,
                    {{"KLV_PROGRAM_FILES", root + "pf"},
                     {"KLV_COMMON_APPDATA", root + "data"},
                     {"KLV_SYSTEM32", root + "sys"},
                     {"DISPLAY", std::nullopt},
                     {"WAYLAND_DISPLAY", std::nullopt}});
}

}  // namespace klv::testing
