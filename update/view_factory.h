// Chooses the update window for the environment the program runs in.
#pragma once

#include <memory>

#include "update/update_view.h"

namespace klv {

// The FLTK window when DISPLAY or WAYLAND_DISPLAY is set and the display can be opened,
// otherwise the console view on standard error (with a progress bar when it is a terminal).
std::unique_ptr<UpdateView> CreateUpdateView();

}  // namespace klv
