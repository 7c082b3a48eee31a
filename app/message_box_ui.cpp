// The timed message box's FLTK box (the window's message box, which the timed box can dismiss).
// It runs its own event loop on the worker thread of the timed message box; the main thread
// meanwhile waits without touching FLTK, so only one thread uses FLTK at a time (thread start
// and join order the two).
#include "app/message_box_ui.h"

#include <X11/Xlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>

#include "update/fltk_message_box.h"

namespace klv {

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

class FltkMessageBox final : public MessageBoxUi {
 public:
  bool Interactive() const override { return true; }

  void BringApplicationToFront() override {
    for (Fl_Window* window = Fl::first_window(); window != nullptr;
         window = Fl::next_window(window)) {
      window->show();
    }
  }

  int32_t Show(const std::string& text, const std::string& caption, uint32_t flags) override {
    // The system refuses a box of unknown buttons; a box dismissed already is not shown.
    if ((flags & kMbTypeMask) > kMbRetryCancel || dismissed_.load()) return 0;
    return ShowFltkMessageBox(text, caption, flags, &dismissed_);
  }

  void Dismiss() override { dismissed_.store(true); }

 private:
  std::atomic<bool> dismissed_{false};
};

}  // namespace

std::unique_ptr<MessageBoxUi> CreateMessageBoxUi() {
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) {
    // Opened here first, because FLTK ends the process when it cannot open the display.
    if (Display* display = XOpenDisplay(nullptr)) {
      if (fl_display == nullptr) {
        fl_open_display(display);
      } else {
        XCloseDisplay(display);
      }
      return std::make_unique<FltkMessageBox>();
    }
  }
  return std::make_unique<ConsoleMessageBox>(std::cerr);
}

}  // namespace klv
