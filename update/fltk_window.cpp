// The FLTK update window. Layout in design pixels at 96 dpi, scaled to the display's
// resolution as the product's forms are: the Xft.dpi resource stands for the Windows logical
// resolution (the user's setting); without it the display counts as 96 dpi, because the
// physical size that X reports is often made up (Xvfb, projectors, virtual machines).
#include "update/fltk_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "update/fltk_message_box.h"
#include "update/pictures/pictures.h"

namespace klv {

namespace {

constexpr int kDesignDpi = 96;
constexpr int kMinDpi = 72;
constexpr int kMaxDpi = 480;

struct Bounds {
  int left, top, width, height;
};
// The form's components (left, top, width, height at 96 dpi).
constexpr Bounds kPictureBounds{8, 8, 64, 64};         // `im`
constexpr Bounds kLabelBounds{78, 8, 300, 41};         // `la`
constexpr Bounds kErrorPictureBounds{8, 120, 64, 64};  // `imError`, hidden
constexpr Bounds kBarBounds{78, 55, 300, 17};          // `pb`
// Added to the bar's right and bottom edges after scaling, not scaled.
constexpr int kClientMargin = 8;
// Tahoma 8 points: 11 pixels high, 13 pixels from line to line at 96 dpi.
constexpr int kFontSize = 11;
constexpr int kLineHeight = 13;

constexpr char kCaption[] = "Update";
// Colours of the Windows controls that the window imitates.
constexpr unsigned char kButtonFace[] = {240, 240, 240};
constexpr unsigned char kBarBorder[] = {188, 188, 188};
constexpr unsigned char kBarTrough[] = {230, 230, 230};
constexpr unsigned char kBarFill[] = {6, 176, 37};

// Waiting for the first paint after mapping: at most kExposeTries * kExposeWait seconds.
constexpr int kExposeTries = 100;
constexpr double kExposeWait = 0.02;

// Waiting for the clipboard manager to take the text: at most kClipboardTries * kClipboardWait
// seconds.
constexpr int kClipboardTries = 100;
constexpr double kClipboardWait = 0.02;

// Motif window-manager hints: keep the title and border, allow moving only (no close,
// minimise, maximise or resize, no window menu).
constexpr long kMwmHintsFunctions = 1L << 0;
constexpr long kMwmHintsDecorations = 1L << 1;
constexpr long kMwmFuncMove = 1L << 2;
constexpr long kMwmDecorBorder = 1L << 1;
constexpr long kMwmDecorTitle = 1L << 3;
constexpr int kMwmHintsLength = 5;
// _NET_WM_STATE and _NET_ACTIVE_WINDOW client messages.
constexpr long kNetWmStateAdd = 1;
constexpr long kSourceApplication = 1;

Fl_Color Rgb(const unsigned char (&c)[3]) {
  return fl_rgb_color(c[0], c[1], c[2]);
}

// Value scaled from 96 dpi to `dpi`, rounded as the Windows MulDiv does.
int Scale(int value, int dpi) {
  return (value * dpi + kDesignDpi / 2) / kDesignDpi;
}

// The Xft.dpi resource of the display, else 96; kept within a sane range.
int DisplayDpi() {
  const char* resources = XResourceManagerString(fl_display);
  if (resources == nullptr) return kDesignDpi;
  static constexpr char kKey[] = "Xft.dpi:";
  for (const char* line = resources; line != nullptr && *line != '\0';) {
    if (std::strncmp(line, kKey, sizeof(kKey) - 1) == 0) {
      const double dpi = std::strtod(line + sizeof(kKey) - 1, nullptr);
      if (dpi >= kMinDpi && dpi <= kMaxDpi) return static_cast<int>(dpi + 0.5);
      return kDesignDpi;
    }
    line = std::strchr(line, '\n');
    if (line != nullptr) ++line;
  }
  return kDesignDpi;
}

// Breaks `text` into lines no wider than `width` in the current font, at line feeds and
// between words (single spaces are the separators, so runs of spaces are kept); a word
// wider than the line stands alone and is clipped. Stops after `max_lines` lines, so a huge
// text costs no more than what is shown.
std::vector<std::string> WrapLines(const std::string& text, int width, size_t max_lines) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (lines.size() < max_lines && start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    bool empty = true;
    for (size_t word_start = start; word_start <= end && lines.size() < max_lines;) {
      size_t word_end = text.find(' ', word_start);
      if (word_end == std::string::npos || word_end > end) word_end = end;
      const std::string word = text.substr(word_start, word_end - word_start);
      std::string candidate = empty ? word : line + " " + word;
      if (empty || fl_width(candidate.c_str(), static_cast<int>(candidate.size())) <= width) {
        line = std::move(candidate);
        empty = false;
      } else {
        lines.push_back(std::move(line));
        line = word;
      }
      word_start = word_end + 1;
    }
    if (lines.size() < max_lines) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The status label `la`: word wrap, painted in the form colour, whole lines only.
class StatusLabel : public Fl_Widget {
 public:
  StatusLabel(int x, int y, int w, int h, int font_size, int line_height)
      : Fl_Widget(x, y, w, h), font_size_(font_size), line_height_(line_height) {}

  // A carriage return, alone or before a line feed, breaks the line as a line feed does.
  void SetText(const std::string& text) {
    text_.clear();
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      text_ += text[i] == '\r' ? '\n' : text[i];
    }
  }

  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    fl_color(color());
    fl_rectf(x(), y(), w(), h());
    fl_font(FL_HELVETICA, font_size_);
    fl_color(FL_BLACK);
    const size_t visible = static_cast<size_t>(h() / line_height_);
    const std::vector<std::string> lines = WrapLines(text_, w(), visible);
    int baseline = y() + line_height_ - fl_descent();
    for (const std::string& line : lines) {
      fl_draw(line.c_str(), static_cast<int>(line.size()), x(), baseline);
      baseline += line_height_;
    }
    fl_pop_clip();
  }

 private:
  std::string text_;
  int font_size_;
  int line_height_;
};

// The progress bar `pb`: a flat bar in the colours of the Windows control.
class ProgressBar : public Fl_Widget {
 public:
  ProgressBar(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}

  void Set(int32_t position, int32_t maximum) {
    position_ = position;
    maximum_ = maximum;
  }

  void draw() override {
    fl_color(Rgb(kBarBorder));
    fl_rect(x(), y(), w(), h());
    fl_color(Rgb(kBarTrough));
    fl_rectf(x() + 1, y() + 1, w() - 2, h() - 2);
    const int inner = w() - 2;
    int filled = 0;
    if (maximum_ > 0) {
      filled = static_cast<int>(int64_t{inner} * std::clamp(position_, 0, maximum_) / maximum_);
    }
    fl_color(Rgb(kBarFill));
    if (filled > 0) fl_rectf(x() + 1, y() + 1, filled, h() - 2);
  }

 private:
  int32_t position_ = 0;
  int32_t maximum_ = 100;
};

// The form: no input of its own, remembers that it has been painted.
class FormWindow : public Fl_Double_Window {
 public:
  FormWindow(int w, int h) : Fl_Double_Window(w, h, kCaption) {
    // The default callback hides the window on Escape or the window manager's close request;
    // the user cannot close this window.
    callback([](Fl_Widget*, void*) {});
  }

  bool painted() const { return painted_; }

  void draw() override {
    Fl_Double_Window::draw();
    painted_ = true;
  }

 private:
  bool painted_ = false;
};

Atom AtomNamed(const char* name) {
  return XInternAtom(fl_display, name, False);
}

// Asks the window manager (and, without one, the window itself) for no close button and
// the stay-on-top state.
void SetWindowManagerHints(Window xid) {
  const long motif[kMwmHintsLength] = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove,
                                       kMwmDecorBorder | kMwmDecorTitle, 0, 0};
  const Atom motif_atom = AtomNamed("_MOTIF_WM_HINTS");
  XChangeProperty(fl_display, xid, motif_atom, motif_atom, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(motif), kMwmHintsLength);

  // The property itself is what a window manager reads when it takes the window on, and what
  // stays visible without one; the client message asks a manager that already manages it.
  const Atom state = AtomNamed("_NET_WM_STATE");
  const Atom above = AtomNamed("_NET_WM_STATE_ABOVE");
  XChangeProperty(fl_display, xid, state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&above), 1);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = state;
  event.xclient.format = 32;
  event.xclient.data.l[0] = kNetWmStateAdd;
  event.xclient.data.l[1] = static_cast<long>(above);
  event.xclient.data.l[3] = kSourceApplication;
  XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

std::unique_ptr<Fl_RGB_Image> LoadPicture(const char* name, const unsigned char* png,
                                          std::size_t size) {
  auto image = std::make_unique<Fl_PNG_Image>(name, png, static_cast<int>(size));
  if (image->fail() != 0) return nullptr;
  return image;
}

}  // namespace

// Fontconfig, under FLTK's Xft fonts, keeps its caches until the process ends; the leak check
// of sanitizer builds is told so. Without a sanitizer nothing calls this.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

struct FltkWindow::Widgets {
  // The pictures are declared before the window, so they outlive the boxes that show them.
  std::unique_ptr<Fl_RGB_Image> globe;
  std::unique_ptr<Fl_RGB_Image> error;
  std::unique_ptr<Fl_Image> error_copy;  // what `im` shows after ShowErrorPicture
  std::unique_ptr<FormWindow> window;    // owns the widgets below
  Fl_Box* im = nullptr;
  StatusLabel* la = nullptr;
  Fl_Box* im_error = nullptr;
  ProgressBar* pb = nullptr;
};

std::unique_ptr<FltkWindow> FltkWindow::Create() {
  // Opened here first, because FLTK ends the process when it cannot open the display.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  if (fl_display == nullptr) {
    fl_open_display(display);
  } else {
    XCloseDisplay(display);
  }
  return std::unique_ptr<FltkWindow>(new FltkWindow());
}

FltkWindow::FltkWindow() : widgets_(std::make_unique<Widgets>()) {
  Widgets& w = *widgets_;
  const int dpi = DisplayDpi();
  auto scaled = [dpi](Bounds b) {
    return Bounds{Scale(b.left, dpi), Scale(b.top, dpi), Scale(b.width, dpi), Scale(b.height, dpi)};
  };
  const Bounds bar = scaled(kBarBounds);
  const int client_width = bar.left + bar.width + kClientMargin;
  const int client_height = bar.top + bar.height + kClientMargin;

  w.globe = LoadPicture("globe.png", pictures::kGlobePng, pictures::kGlobePngSize);
  w.error = LoadPicture("error.png", pictures::kErrorPng, pictures::kErrorPngSize);

  w.window = std::make_unique<FormWindow>(client_width, client_height);
  FormWindow& form = *w.window;
  form.color(Rgb(kButtonFace));
  form.size_range(client_width, client_height, client_width, client_height);

  // Pictures keep their 64 x 64 size (auto-size); only their places are scaled.
  const Bounds picture = scaled(kPictureBounds);
  w.im = new Fl_Box(FL_NO_BOX, picture.left, picture.top, kPictureBounds.width,
                    kPictureBounds.height, nullptr);
  w.im->image(w.globe.get());
  const Bounds label = scaled(kLabelBounds);
  w.la = new StatusLabel(label.left, label.top, label.width, label.height, Scale(kFontSize, dpi),
                         Scale(kLineHeight, dpi));
  w.la->color(Rgb(kButtonFace));
  const Bounds error = scaled(kErrorPictureBounds);
  w.im_error = new Fl_Box(FL_NO_BOX, error.left, error.top, kErrorPictureBounds.width,
                          kErrorPictureBounds.height, nullptr);
  w.im_error->image(w.error.get());
  w.im_error->hide();
  w.pb = new ProgressBar(bar.left, bar.top, bar.width, bar.height);
  form.end();
}

FltkWindow::~FltkWindow() {
  widgets_->window->hide();
  widgets_.reset();
  Fl::flush();
}

void FltkWindow::Show() {
  FormWindow& form = *widgets_->window;
  int screen_x = 0, screen_y = 0, screen_w = 0, screen_h = 0;
  Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h, 0);
  form.position(screen_x + (screen_w - form.w()) / 2, screen_y + (screen_h - form.h()) / 2);
  form.show();
  SetWindowManagerHints(fl_xid(&form));
  for (int tries = 0; tries < kExposeTries && !form.painted(); ++tries) Fl::wait(kExposeWait);
  Fl::flush();
}

void FltkWindow::SetCaption(const std::string& text) {
  widgets_->window->copy_label(text.c_str());
}

void FltkWindow::SetStatusText(const std::string& text) {
  widgets_->la->SetText(text);
  widgets_->la->redraw();
}

void FltkWindow::SetProgress(int32_t position, int32_t maximum) {
  widgets_->pb->Set(position, maximum);
  widgets_->pb->redraw();
}

void FltkWindow::ShowErrorPicture() {
  Widgets& w = *widgets_;
  if (w.error == nullptr) return;
  w.error_copy.reset(w.error->copy());
  w.im->image(w.error_copy.get());
  w.im->redraw();
}

void FltkWindow::ProcessMessages() {
  Fl::check();
}

void FltkWindow::CopyToClipboard(const std::string& text) {
  const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
  Fl::copy(text.data(), length, 1);
  XFlush(fl_display);  // the claim on the clipboard reaches the server now, not at the next pump
  HandClipboardToManager();
}

namespace {

struct SaveRequest {
  Window requestor;
  Atom target;
  bool answered;
};

// Sees the clipboard manager's answer before FLTK does.
int NoteSaveAnswer(void* event, void* data) {
  const XEvent& x = *static_cast<XEvent*>(event);
  auto& request = *static_cast<SaveRequest*>(data);
  if (x.type != SelectionNotify || x.xselection.requestor != request.requestor ||
      x.xselection.target != request.target) {
    return 0;
  }
  request.answered = true;
  return 1;
}

}  // namespace

void FltkWindow::HandClipboardToManager() {
  // An X selection lives only as long as its owner, and the run ends right after the copy:
  // ask the desktop's clipboard manager, if there is one, to take a copy of the text now.
  FormWindow& form = *widgets_->window;
  const Atom manager = AtomNamed("CLIPBOARD_MANAGER");
  if (!form.shown() || XGetSelectionOwner(fl_display, manager) == None) return;
  SaveRequest request{fl_xid(&form), AtomNamed("SAVE_TARGETS"), false};
  const Atom property = AtomNamed("KLV_SAVE_TARGETS");
  const Atom targets[] = {AtomNamed("UTF8_STRING"), XA_STRING};
  XChangeProperty(fl_display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(targets), 2);
  XConvertSelection(fl_display, manager, request.target, property, request.requestor, CurrentTime);
  Fl::add_system_handler(NoteSaveAnswer, &request);
  // FLTK answers the manager's requests for the text while it waits.
  for (int tries = 0; tries < kClipboardTries && !request.answered; ++tries) {
    Fl::wait(kClipboardWait);
  }
  Fl::remove_system_handler(NoteSaveAnswer);
}

int FltkWindow::ShowMessageBox(const std::string& text, const std::string& caption,
                               unsigned flags) {
  return ShowFltkMessageBox(text, caption, flags);
}

void FltkWindow::BringToFront() {
  FormWindow& form = *widgets_->window;
  if (!form.shown()) return;
  // Mapping a window again takes it out of the iconic state (and back from withdrawn); FLTK's
  // show() does not map a window that it created once and that was unmapped from outside.
  XMapRaised(fl_display, fl_xid(&form));
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = fl_xid(&form);
  event.xclient.message_type = AtomNamed("_NET_ACTIVE_WINDOW");
  event.xclient.format = 32;
  event.xclient.data.l[0] = kSourceApplication;
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  Fl::flush();
}

unsigned long FltkWindow::NativeHandle() const {
  FormWindow& form = *widgets_->window;
  return form.shown() ? fl_xid(&form) : 0;
}

}  // namespace klv
