// A fixture for tests of the engine's phases: a temporary folder holding the program folder
// (pf/Velmora/), the common data folder (data/, with the update folder) and the system folder
// (sys/), the fake window and clock, and a step-only form made on first use.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "tests/support/fake_view.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_form.h"
#include "update/update_form.h"

namespace klv::testing {

class EngineTest : public ::testing::Test {
 public:
  EngineTest() {
    startup_.program_dir = dir_.path() + "pf/Velmora/";
    startup_.settings_file = startup_.program_dir + "KLV.SYS";
    startup_.program_file = startup_.program_dir + "KLV_UPD.EXE";
    platform::ForceDirectories(startup_.program_dir);
    platform::ForceDirectories(dir_.path() + "data/Velmora/update");
  }

  // A file of the update folder.
  std::string Update(const std::string& name) { return dir_.File("data/Velmora/update/" + name); }
  std::string ReadUpdate(const std::string& name) {
    return dir_.Read("data/Velmora/update/" + name);
  }
  void WriteUpdate(const std::string& name, const std::string& content) {
    dir_.Write("data/Velmora/update/" + name, content);
  }
  bool UpdateExists(const std::string& name) { return platform::FileExists(Update(name)); }

 protected:
  TfrmUpdate& Form() {
    if (!form_) form_ = MakeStepForm(view_, clock_, startup_);
    return *form_;
  }
  const std::vector<std::string>& Log() { return Form().LogLines(); }
  bool Logged(const std::string& line) {
    return std::find(Log().begin(), Log().end(), line) != Log().end();
  }

  TempDir dir_;
  ScopedEnv appdata_{"KLV_COMMON_APPDATA", (dir_.path() + "data").c_str()};
  ScopedEnv system32_{"KLV_SYSTEM32", (dir_.path() + "sys").c_str()};
  FakeView view_;
  FakeClock clock_;
  StartupContext startup_;
  std::unique_ptr<TfrmUpdate> form_;
};

}  // namespace klv::testing
