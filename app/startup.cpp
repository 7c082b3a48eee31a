#include "app/startup.h"

#include <cstdlib>

#include "app/bring_to_front_hook.h"
#include "app/check_previous.h"
#include "app/message_box_ui.h"
#include "common/build_stamp.h"
#include "common/command_line.h"
#include "common/locations.h"
#include "common/styles.h"
#include "common/timed_message_box.h"
#include "platform/bring_to_front.h"
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
  // The units' initialisations, in their order: the style holder, the fixed locations, and
  // under a debugger the build stamp.
  const StylesUnit styles;
  const StartupContext startup = MakeStartupContext(argc, argv);
  CheckBuildStamp(startup.debugger_present, TodayDayNumber(),
                  [](const std::string& text, uint32_t flags) {
                    const std::unique_ptr<MessageBoxUi> box = CreateMessageBoxUi();
                    platform::SystemClock clock;
                    return TimedMessageBox(text, flags, *box, clock);
                  });

  // The listener stands for the application's hidden window: it exists before any form, and
  // its handle is what a later copy asks to come to the front.
  platform::BringToFrontListener application;
  CheckPrevious check_previous(startup.program_file, platform::RequestBringToFront);
  if (check_previous.Check(application.handle(), kMaxUpdaterInstances)) return 0;

  const std::unique_ptr<UpdateView> view = CreateUpdateView();
  const BringToFrontHook bring_to_front(application, *view);
  platform::SystemClock clock;
  TfrmUpdate form(*view, clock, startup);
  if (form.UpdateRun() == TfrmUpdate::RunEnd::kMainProgramRestarted) {
    // The main program takes over: end at once, without closing the window first, but give
    // this copy's place back as the ordinary shutdown does.
    check_previous.Finalize();
    std::exit(0);
  }
  return 0;
}

}  // namespace klv
