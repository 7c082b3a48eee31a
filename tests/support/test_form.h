// The update window's engine for tests of single steps: no phases, no program starts.
#pragma once

#include <memory>

#include "tests/support/fake_view.h"
#include "update/update_form.h"

namespace klv::testing {

inline std::unique_ptr<TfrmUpdate> MakeStepForm(UpdateView& view, platform::Clock& clock,
                                                const StartupContext& startup) {
  return std::make_unique<TfrmUpdate>(
      view, clock, startup, [](const std::string&, const std::string&, const std::string&) {},
      TfrmUpdate::Phases{});
}

}  // namespace klv::testing
