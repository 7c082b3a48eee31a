// A system-style message box on the display, for the zip reader's messages: text, caption,
// the Windows button sets and default button, the Windows answers.
#pragma once

#include <string>

namespace klv {

// Windows message-box flags and answers that the box understands.
inline constexpr unsigned kMbButtonSetMask = 0x0F;  // OK 0, OK/Cancel 1, Abort/Retry/Ignore 2,
                                                    // Yes/No/Cancel 3, Yes/No 4, Retry/Cancel 5
inline constexpr unsigned kMbDefaultButtonMask = 0xF00;  // first 0x000 ... fourth 0x300
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Shows a modal, stay-on-top box centred on the screen and waits for the user's choice;
// answers the chosen button's ID. Return chooses the default button (an unknown default is
// the first), Escape and the close request choose Cancel where the set has it (OK for the
// lone OK button) and are ignored otherwise. An unknown button set shows OK. The display must
// be open (FltkWindow::Create).
int ShowFltkMessageBox(const std::string& text, const std::string& caption, unsigned flags);

}  // namespace klv
