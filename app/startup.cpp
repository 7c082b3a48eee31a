#include "app/startup.h"

#include <cstdlib>

#include "common/command_line.h"
#include "common/locations.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "update/update_form.h"
#include "update/view_factory.h"

namespace klv {

namespace {

StartupContext MakeStartupContext(int argc, char** argv) {
  const Locations locations = ComputeLocations();
  StartupContext startup;
  startup.program_dir = locations.program_dir;
  startup.settings_file = locations.settings_file;
  startup.program_file = platform::ProgramFilePath();
  startup.debugger_present = platform::DebuggerPresent();
  startup.update_switch = HasUpdateSwitch(platform::CommandLineParameters(argc, argv));
  return startup;
}

}  // namespace

int RunUpdaterProgram(int argc, char** argv) {
  const StartupContext startup = MakeStartupContext(argc, argv);
  const std::unique_ptr<UpdateView> view = CreateUpdateView();
  platform::SystemClock clock;
  TfrmUpdate form(*view, clock, startup);
  if (form.UpdateRun() == TfrmUpdate::RunEnd::kMainProgramRestarted) {
    // The main program takes over: end at once, without closing the window first.
    std::exit(0);
  }
  return 0;
}

}  // namespace klv
