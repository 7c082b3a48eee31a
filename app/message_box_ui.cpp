// The FLTK box: the text, then one button per answer of the button set, the default button
// focused, caption "Velmora", centred on the screen, stay-on-top. It runs its own event loop on the
// worker thread of the timed message box; the main thread meanwhile waits without touching FLTK, so
// only one thread uses FLTK at a time (thread start and join order the two).
#include "app/message_box_ui.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace klv {

namespace {

struct Button {
  const char* label;
  int32_t answer;
};
// The buttons of each button set, in order.
const std::vector<Button> kButtonSets[] = {
    {{"OK", kIdOk}},
    {{"OK", kIdOk}, {"Cancel", kIdCancel}},
    {{"Abort", kIdAbort}, {"Retry", kIdRetry}, {"Ignore", kIdIgnore}},
    {{"Yes", kIdYes}, {"No", kIdNo}, {"Cancel", kIdCancel}},
    {{"Yes", kIdYes}, {"No", kIdNo}},
    {{"Retry", kIdRetry}, {"Cancel", kIdCancel}},
};
constexpr uint32_t kDefaultButtonShift = 8;

// Layout in pixels.
constexpr int kMargin = 12;
constexpr int kTextWidth = 320;
constexpr int kTextHeight = 60;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 8;
constexpr int kFontSize = 12;
// How often the box looks whether the waiting thread has taken it away.
constexpr double kDismissPollSeconds = 0.05;

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// FLTK labels treat "@" as the start of a symbol and "&" as a shortcut mark; the box shows its
// text as given.
std::string LiteralLabel(const std::string& text) {
  std::string label;
  label.reserve(text.size());
  for (const char c : text) {
    if (c == '@' || c == '&') label += c;
    label += c;
  }
  return label;
}

void SetStayOnTop(Fl_Window& window) {
  const Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
  const Atom above = XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False);
  XChangeProperty(fl_display, fl_xid(&window), state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&above), 1);
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
    const uint32_t set = flags & kMbTypeMask;
    if (set >= std::size(kButtonSets)) return 0;  // a box of unknown buttons cannot be shown
    const std::vector<Button>& buttons = kButtonSets[set];
    const std::size_t default_index =
        std::min<std::size_t>((flags & kMbDefMask) >> kDefaultButtonShift, buttons.size() - 1);

    const int count = static_cast<int>(buttons.size());
    const int width = kMargin * 2 + kTextWidth;
    const int height = kMargin * 3 + kTextHeight + kButtonHeight;
    // Children are destroyed before the window and leave it as they go.
    Fl_Window window(width, height);
    window.copy_label(caption.c_str());
    Fl_Box label(kMargin, kMargin, kTextWidth, kTextHeight);
    label.copy_label(LiteralLabel(text).c_str());
    label.labelsize(kFontSize);
    label.align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_WRAP);
    int32_t answer = 0;
    const int buttons_width = count * kButtonWidth + (count - 1) * kButtonGap;
    int left = width - kMargin - buttons_width;
    std::vector<std::unique_ptr<Fl_Button>> widgets;
    struct Press {
      int32_t* answer;
      int32_t value;
    };
    std::vector<Press> presses(buttons.size());
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      auto button = std::make_unique<Fl_Button>(left, height - kMargin - kButtonHeight,
                                                kButtonWidth, kButtonHeight, buttons[i].label);
      button->labelsize(kFontSize);
      presses[i] = {&answer, buttons[i].answer};
      button->callback(
          [](Fl_Widget*, void* press) {
            auto* p = static_cast<Press*>(press);
            *p->answer = p->value;
          },
          &presses[i]);
      left += kButtonWidth + kButtonGap;
      widgets.push_back(std::move(button));
    }
    window.end();
    // Closing the box answers Cancel where there is one, OK for a box of one button.
    const auto cancel = std::find_if(buttons.begin(), buttons.end(),
                                     [](const Button& b) { return b.answer == kIdCancel; });
    Press close{&answer, cancel != buttons.end() ? kIdCancel : (count == 1 ? kIdOk : 0)};
    window.callback(
        [](Fl_Widget*, void* press) {
          auto* p = static_cast<Press*>(press);
          if (p->value != 0) *p->answer = p->value;
        },
        &close);
    window.set_modal();
    int screen_x = 0, screen_y = 0, screen_w = 0, screen_h = 0;
    Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h, 0);
    window.position(screen_x + (screen_w - width) / 2, screen_y + (screen_h - height) / 2);
    window.show();
    SetStayOnTop(window);
    widgets[default_index]->take_focus();
    while (answer == 0 && !dismissed_.load() && window.shown()) Fl::wait(kDismissPollSeconds);
    window.hide();
    Fl::flush();
    return dismissed_.load() ? 0 : answer;
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
