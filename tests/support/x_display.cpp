#include "tests/support/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace klv::testing {

namespace {

// Xvfb names its display on the pipe once it listens; it normally does so well within 1 s.
constexpr int kStartTimeoutMs = 20000;
constexpr char kScreen[] = "1280x1024x24";

// The full path of `program` in PATH, empty when it is not there.
std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string candidate = folders.substr(start, end - start) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Reads the display number line from `fd`; empty on timeout or end of file.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left.count()) + 1) <= 0) return {};
    char c = 0;
    if (::read(fd, &c, 1) != 1) return {};
    if (c == '\n') return number;
    if (c < '0' || c > '9' || number.size() > 6) return {};
    number += c;
  }
  return {};
}

void StopProcess(pid_t pid) {
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace

std::unique_ptr<XvfbServer> XvfbServer::Start(std::string* why_not) {
  const std::string xvfb = FindInPath("Xvfb");
  if (xvfb.empty()) {
    *why_not = "Xvfb is not installed (Debian package xvfb)";
    return nullptr;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *why_not = "pipe failed";
    return nullptr;
  }
  // The child writes the display number to descriptor kDisplayFd.
  constexpr int kDisplayFd = 3;
  const std::string fd_text = std::to_string(kDisplayFd);
  std::vector<const char*> argv = {xvfb.c_str(), "-displayfd", fd_text.c_str(), "-screen",
                                   "0",          kScreen,      "-nolisten",     "tcp",
                                   "-noreset",   nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on. The server goes when the test process goes,
    // also when that is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (fds[1] == kDisplayFd) {
      ::fcntl(kDisplayFd, F_SETFD, 0);
    } else {
      ::dup2(fds[1], kDisplayFd);  // a duplicate has no close-on-exec flag
    }
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execv(xvfb.c_str(), const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    *why_not = "fork failed";
    return nullptr;
  }
  const std::string number = ReadDisplayNumber(fds[0]);
  ::close(fds[0]);
  if (number.empty()) {
    StopProcess(pid);
    *why_not = "Xvfb did not report a display";
    return nullptr;
  }
  return std::unique_ptr<XvfbServer>(new XvfbServer(pid, ":" + number));
}

XvfbServer::~XvfbServer() {
  StopProcess(pid_);
}

namespace {

// Windows come and go while a test walks the tree; Xlib's default handler would end the
// process on the first BadWindow.
int IgnoreXError(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

XClient::XClient(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  XSetErrorHandler(IgnoreXError);
}

XClient::~XClient() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::string XClient::Name(unsigned long window) const {
  char* name = nullptr;
  if (XFetchName(display_, window, &name) == 0 || name == nullptr) return {};
  std::string result = name;
  XFree(name);
  return result;
}

bool XClient::IsMapped(unsigned long window) const {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display_, window, &attributes) == 0) return false;
  return attributes.map_state == IsViewable;
}

unsigned long XClient::FindWindow(const std::string& name) const {
  std::vector<Window> pending = {DefaultRootWindow(display_)};
  while (!pending.empty()) {
    const Window window = pending.back();
    pending.pop_back();
    if (Name(window) == name && IsMapped(window)) return window;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, window, &root, &parent, &children, &count) != 0) {
      pending.insert(pending.end(), children, children + count);
      if (children != nullptr) XFree(children);
    }
  }
  return 0;
}

unsigned long XClient::WaitForWindow(const std::string& name, int tries, int poll_ms) const {
  for (int i = 0; i < tries; ++i) {
    if (const unsigned long window = FindWindow(name)) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return 0;
}

XGeometry XClient::Geometry(unsigned long window) const {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display_, window, &attributes) == 0) return {};
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
  return {x, y, attributes.width, attributes.height};
}

std::vector<long> XClient::Longs(unsigned long window, const std::string& property) const {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const Atom atom = XInternAtom(display_, property.c_str(), False);
  if (XGetWindowProperty(display_, window, atom, 0, 1024, False, AnyPropertyType, &type, &format,
                         &count, &remaining, &data) != Success) {
    return {};
  }
  std::vector<long> values;
  if (data != nullptr && format == 32) {
    const long* items = reinterpret_cast<const long*>(data);  // Xlib hands 32-bit items as long
    values.assign(items, items + count);
  }
  if (data != nullptr) XFree(data);
  return values;
}

std::vector<std::string> XClient::AtomList(unsigned long window,
                                           const std::string& property) const {
  std::vector<std::string> names;
  for (long atom : Longs(window, property)) {
    char* name = XGetAtomName(display_, static_cast<Atom>(atom));
    if (name == nullptr) continue;
    names.emplace_back(name);
    XFree(name);
  }
  return names;
}

XImageCopy XClient::Capture(unsigned long window) const {
  return CaptureDrawable(window);
}

XImageCopy XClient::CaptureScreen() const {
  return CaptureDrawable(DefaultRootWindow(display_));
}

XImageCopy XClient::CaptureDrawable(unsigned long drawable) const {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display_, drawable, &attributes) == 0) return {};
  XImage* image =
      XGetImage(display_, drawable, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  XImageCopy copy;
  copy.width = attributes.width;
  copy.height = attributes.height;
  copy.pixels.reserve(static_cast<size_t>(copy.width) * copy.height);
  auto channel = [](unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0u;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const unsigned long value = (pixel & mask) >> shift;
    const unsigned long top = mask >> shift;
    return static_cast<unsigned>(value * 255 / top);
  };
  for (int y = 0; y < copy.height; ++y) {
    for (int x = 0; x < copy.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      copy.pixels.push_back(channel(pixel, image->red_mask) << 16 |
                            channel(pixel, image->green_mask) << 8 |
                            channel(pixel, image->blue_mask));
    }
  }
  XDestroyImage(image);
  return copy;
}

std::string XClient::ClipboardText(const std::function<void()>& pump, int tries) const {
  const Window root = DefaultRootWindow(display_);
  const Window requestor = XCreateSimpleWindow(display_, root, 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(display_, "CLIPBOARD", False);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  const Atom target = XInternAtom(display_, "KLV_TEST_CLIPBOARD", False);
  XConvertSelection(display_, clipboard, utf8, target, requestor, CurrentTime);
  XFlush(display_);
  std::string text;
  for (int i = 0; i < tries; ++i) {
    pump();
    XEvent event;
    if (XCheckTypedWindowEvent(display_, requestor, SelectionNotify, &event) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (event.xselection.property == None) break;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, requestor, target, 0, 1 << 20, True, AnyPropertyType, &type,
                           &format, &count, &remaining, &data) == Success &&
        data != nullptr) {
      text.assign(reinterpret_cast<const char*>(data), count);
      XFree(data);
    }
    break;
  }
  XDestroyWindow(display_, requestor);
  XFlush(display_);
  return text;
}

unsigned long XClient::CreateWindow(int x, int y, int width, int height) const {
  const Window window =
      XCreateSimpleWindow(display_, DefaultRootWindow(display_), x, y, width, height, 0, 0, 0);
  XMapWindow(display_, window);
  XSync(display_, False);
  return window;
}

std::vector<unsigned long> XClient::StackingOrder() const {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<unsigned long> order;
  if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) != 0) {
    order.assign(children, children + count);
    if (children != nullptr) XFree(children);
  }
  return order;
}

void XClient::Unmap(unsigned long window) const {
  XUnmapWindow(display_, window);
  XSync(display_, False);
}

void XClient::SetResources(const std::string& resources) const {
  XChangeProperty(display_, DefaultRootWindow(display_), XA_RESOURCE_MANAGER, XA_STRING, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(display_, False);
}

void XClient::PressKey(unsigned long window, const std::string& keysym) const {
  XEvent event{};
  event.xkey.type = KeyPress;
  event.xkey.display = display_;
  event.xkey.window = window;
  event.xkey.root = DefaultRootWindow(display_);
  event.xkey.time = CurrentTime;
  event.xkey.same_screen = True;
  event.xkey.keycode = XKeysymToKeycode(display_, XStringToKeysym(keysym.c_str()));
  XSendEvent(display_, window, True, KeyPressMask, &event);
  event.xkey.type = KeyRelease;
  XSendEvent(display_, window, True, KeyReleaseMask, &event);
  XSync(display_, False);
}

namespace {

constexpr int kManagerTries = 500;
constexpr int kManagerPollMs = 10;

// The next event of `type` for `window`, polling at most kManagerTries times.
bool WaitForEvent(Display* display, Window window, int type, XEvent* event) {
  for (int i = 0; i < kManagerTries; ++i) {
    if (XCheckTypedWindowEvent(display, window, type, event)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kManagerPollMs));
  }
  return false;
}

}  // namespace

FakeClipboardManager::FakeClipboardManager(const std::string& display)
    : display_(XOpenDisplay(display.c_str())) {
  if (display_ == nullptr) return;
  window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display_, XInternAtom(display_, "CLIPBOARD_MANAGER", False), window_,
                     CurrentTime);
  XSync(display_, False);
  thread_ = std::thread([this] { Serve(); });
}

FakeClipboardManager::~FakeClipboardManager() {
  Wait();
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::string FakeClipboardManager::Wait() {
  if (thread_.joinable()) thread_.join();
  return saved_;
}

void FakeClipboardManager::Serve() {
  XEvent request;
  if (!WaitForEvent(display_, window_, SelectionRequest, &request)) return;
  const XSelectionRequestEvent& asked = request.xselectionrequest;
  const Atom property = XInternAtom(display_, "KLV_TEST_SAVED", False);
  XConvertSelection(display_, XInternAtom(display_, "CLIPBOARD", False),
                    XInternAtom(display_, "UTF8_STRING", False), property, window_, CurrentTime);
  XFlush(display_);
  XEvent converted;
  if (WaitForEvent(display_, window_, SelectionNotify, &converted) &&
      converted.xselection.property != None) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_, property, 0, 1 << 20, True, AnyPropertyType, &type,
                           &format, &count, &remaining, &data) == Success &&
        data != nullptr) {
      saved_.assign(reinterpret_cast<const char*>(data), count);
      XFree(data);
    }
  }
  XEvent answer{};
  answer.xselection.type = SelectionNotify;
  answer.xselection.requestor = asked.requestor;
  answer.xselection.selection = asked.selection;
  answer.xselection.target = asked.target;
  answer.xselection.property = asked.property;
  answer.xselection.time = asked.time;
  XSendEvent(display_, asked.requestor, False, NoEventMask, &answer);
  XSync(display_, False);
}

bool WritePpm(const XImageCopy& image, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height);
  for (uint32_t pixel : image.pixels) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                  static_cast<unsigned char>(pixel >> 8),
                                  static_cast<unsigned char>(pixel)};
    std::fwrite(rgb, 1, 3, file);
  }
  return std::fclose(file) == 0;
}

}  // namespace klv::testing
