// A system-style message box on the display, for the zip reader's messages: text, caption,
// the Windows button sets and default button, the Windows answers.
#pragma once

#include <atomic>
#include <string>

#include "common/timed_message_box.h"

namespace klv {

// Shows a modal, stay-on-top box centred on the screen and waits for the user's choice;
// answers the chosen button's ID. Return chooses the default button (an unknown default is
// the first), Escape and the close request choose Cancel where the set has it (OK for the
// lone OK button) and are ignored otherwise. An unknown button set shows OK. The display must
// be open. The text is shown literally. Flags and answers are the system message box's
// (common/timed_message_box.h). When `dismissed` is given and becomes true (from another
// thread), the box goes away and 0 is answered.
int ShowFltkMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                       const std::atomic<bool>* dismissed = nullptr);

}  // namespace klv
