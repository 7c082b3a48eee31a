#include "update/fltk_message_box.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace klv {

namespace {

// Layout in pixels, after the Windows message box: 75 x 23 buttons, 9-point text.
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kFontSize = 12;
constexpr int kMinTextWidth = 160;
constexpr int kMaxTextWidth = 420;
constexpr int kMaxTextHeight = 600;  // a longer text is cut off at the bottom
constexpr unsigned char kButtonFace[] = {240, 240, 240};

struct Choice {
  const char* label;
  int answer;
};

std::vector<Choice> ButtonSet(unsigned flags) {
  switch (flags & kMbTypeMask) {
    case 1:
      return {{"OK", kIdOk}, {"Cancel", kIdCancel}};
    case 2:
      return {{"Abort", kIdAbort}, {"Retry", kIdRetry}, {"Ignore", kIdIgnore}};
    case 3:
      return {{"Yes", kIdYes}, {"No", kIdNo}, {"Cancel", kIdCancel}};
    case 4:
      return {{"Yes", kIdYes}, {"No", kIdNo}};
    case 5:
      return {{"Retry", kIdRetry}, {"Cancel", kIdCancel}};
    default:
      return {{"OK", kIdOk}};
  }
}

// What Escape and the close request choose: Cancel, or OK when it is the only button; 0 when
// the box cannot be dismissed that way.
int EscapeAnswer(const std::vector<Choice>& choices) {
  for (const Choice& choice : choices) {
    if (choice.answer == kIdCancel) return kIdCancel;
  }
  return choices.size() == 1 ? choices[0].answer : 0;
}

// Carriage returns, alone or before a line feed, break lines as in the update window's label.
// FLTK labels read "@" as a symbol and "&" as a shortcut mark: doubled, they show as given.
std::string TextLines(const std::string& text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '@' || text[i] == '&') lines += text[i];
    lines += text[i] == '\r' ? '\n' : text[i];
  }
  return lines;
}

// How often a box that can be dismissed from elsewhere looks whether it was.
constexpr double kDismissPollSeconds = 0.05;

class BoxWindow : public Fl_Double_Window {
 public:
  BoxWindow(int w, int h, const char* caption, int default_answer, int escape_answer)
      : Fl_Double_Window(w, h, caption),
        default_answer_(default_answer),
        escape_answer_(escape_answer) {
    // The window manager's close request counts as Escape.
    callback([](Fl_Widget* widget, void*) { static_cast<BoxWindow*>(widget)->Escape(); });
  }

  int answer() const { return answer_; }
  void Choose(int answer) { answer_ = answer; }
  void Escape() {
    if (escape_answer_ != 0) answer_ = escape_answer_;
  }

  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      const int key = Fl::event_key();
      if (key == FL_Enter || key == FL_KP_Enter) {
        answer_ = default_answer_;
        return 1;
      }
      if (key == FL_Escape) {
        Escape();
        return 1;
      }
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  int default_answer_;
  int escape_answer_;
  int answer_ = 0;
};

void SetStayOnTop(Window xid) {
  const Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
  const Atom above = XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False);
  XChangeProperty(fl_display, xid, state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&above), 1);
}

}  // namespace

int ShowFltkMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                       const std::atomic<bool>* dismissed) {
  const std::vector<Choice> choices = ButtonSet(flags);
  size_t default_index = (flags & kMbDefMask) >> 8;
  if (default_index >= choices.size()) default_index = 0;
  const std::string lines = TextLines(text);

  fl_font(FL_HELVETICA, kFontSize);
  int text_width = kMaxTextWidth;
  int text_height = 0;
  fl_measure(lines.c_str(), text_width, text_height, 0);
  text_width = std::clamp(text_width, kMinTextWidth, kMaxTextWidth);
  text_height = std::min(std::max(text_height, fl_height()), kMaxTextHeight);
  const int buttons_width =
      static_cast<int>(choices.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
  const int width = std::max(text_width, buttons_width) + 2 * kMargin;
  const int height = kMargin + text_height + kMargin + kButtonHeight + kMargin;

  BoxWindow box(width, height, caption.c_str(), choices[default_index].answer,
                EscapeAnswer(choices));
  box.color(fl_rgb_color(kButtonFace[0], kButtonFace[1], kButtonFace[2]));
  // The widgets are owned by the box.
  auto* message = new Fl_Box(kMargin, kMargin, width - 2 * kMargin, text_height);
  message->copy_label(lines.c_str());
  message->labelfont(FL_HELVETICA);
  message->labelsize(kFontSize);
  message->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
  std::vector<Fl_Button*> buttons;
  int left = width - kMargin - buttons_width;
  for (const Choice& choice : choices) {
    auto* button = new Fl_Button(left, height - kMargin - kButtonHeight, kButtonWidth,
                                 kButtonHeight, choice.label);
    button->labelsize(kFontSize);
    button->callback(
        [](Fl_Widget* widget, void* answer) {
          static_cast<BoxWindow*>(widget->window())
              ->Choose(static_cast<int>(reinterpret_cast<intptr_t>(answer)));
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(choice.answer)));
    buttons.push_back(button);
    left += kButtonWidth + kButtonGap;
  }
  box.end();
  box.size_range(width, height, width, height);
  box.set_modal();

  int screen_x = 0, screen_y = 0, screen_w = 0, screen_h = 0;
  Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h, 0);
  box.position(screen_x + (screen_w - width) / 2, screen_y + (screen_h - height) / 2);
  box.show();
  SetStayOnTop(fl_xid(&box));
  buttons[default_index]->take_focus();
  const auto is_dismissed = [dismissed] { return dismissed != nullptr && dismissed->load(); };
  while (box.answer() == 0 && box.shown() && !is_dismissed()) {
    if (dismissed != nullptr) {
      Fl::wait(kDismissPollSeconds);
    } else {
      Fl::wait();
    }
  }
  const int answer = box.answer() != 0 ? box.answer() : choices[default_index].answer;
  box.hide();
  Fl::flush();
  return is_dismissed() ? 0 : answer;
}

}  // namespace klv
