// The box of the timed message box for the environment the program runs in.
#pragma once

#include <memory>

#include "common/timed_message_box.h"

namespace klv {

// An FLTK box when DISPLAY or WAYLAND_DISPLAY is set and the display can be opened, otherwise
// the console box on standard error. One box per object: once dismissed it stays dismissed.
std::unique_ptr<MessageBoxUi> CreateMessageBoxUi();

}  // namespace klv
