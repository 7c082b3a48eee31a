// Window tests: a private X server (Xvfb) per test suite, and an Xlib connection to read back
// what a program put on it (windows, names, properties, geometry, pixels).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;  // Xlib's Display

namespace klv::testing {

class XvfbServer {
 public:
  // Starts Xvfb on a free display number (chosen by the server, -displayfd) with one
  // 1280 x 1024 x 24 screen. Answers nullptr and sets `why_not` when Xvfb is not installed or
  // does not start within a bounded wait.
  static std::unique_ptr<XvfbServer> Start(std::string* why_not);
  // Stops the server.
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":N", for DISPLAY.
  const std::string& display() const { return display_; }

 private:
  XvfbServer(pid_t pid, std::string display) : pid_(pid), display_(std::move(display)) {}
  pid_t pid_;
  std::string display_;
};

// Pixels of a window, 0xRRGGBB each, row by row.
struct XImageCopy {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct XGeometry {
  int x = 0;  // of the client area, relative to the root window
  int y = 0;
  int width = 0;
  int height = 0;
};

class XClient {
 public:
  // Connects to `display`; connected() is false when that fails.
  explicit XClient(const std::string& display);
  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool connected() const { return display_ != nullptr; }
  // The first mapped window in the tree whose WM_NAME is `name`, 0 when there is none.
  unsigned long FindWindow(const std::string& name) const;
  // FindWindow until it answers or `tries` polls (`poll_ms` apart) are used up.
  unsigned long WaitForWindow(const std::string& name, int tries, int poll_ms) const;
  // The window's WM_NAME, empty when it has none.
  std::string Name(unsigned long window) const;
  XGeometry Geometry(unsigned long window) const;
  bool IsMapped(unsigned long window) const;
  // Names of the atoms in an ATOM-list property (for example _NET_WM_STATE).
  std::vector<std::string> AtomList(unsigned long window, const std::string& property) const;
  // The 32-bit items of a property of any type (for example _MOTIF_WM_HINTS).
  std::vector<long> Longs(unsigned long window, const std::string& property) const;
  // The window's current pixels, empty when it cannot be read.
  XImageCopy Capture(unsigned long window) const;
  // The screen's pixels.
  XImageCopy CaptureScreen() const;
  // The CLIPBOARD selection as UTF-8 text. The owner may live in this process, so `pump` (its
  // message processing) runs between polls; empty when no answer came within `tries` polls.
  std::string ClipboardText(const std::function<void()>& pump, int tries) const;
  // Creates a plain mapped top-level window (not named), for stacking tests.
  unsigned long CreateWindow(int x, int y, int width, int height) const;
  // The root window's children from bottom to top of the stacking order.
  std::vector<unsigned long> StackingOrder() const;
  // Unmaps (withdraws) a window of another client.
  void Unmap(unsigned long window) const;
  // Sets the screen's resource database (RESOURCE_MANAGER, for example "Xft.dpi: 144\n"),
  // which clients read when they connect.
  void SetResources(const std::string& resources) const;
  // Sends the window a press and release of the key named `keysym` (for example "Return").
  void PressKey(unsigned long window, const std::string& keysym) const;

 private:
  XImageCopy CaptureDrawable(unsigned long drawable) const;
  ::_XDisplay* display_ = nullptr;
};

// Plays a desktop's clipboard manager on a connection of its own: owns CLIPBOARD_MANAGER from
// construction and, asked to SAVE_TARGETS, fetches the clipboard as UTF-8 text and answers.
// Serves one request on a thread of its own, for at most a few seconds.
class FakeClipboardManager {
 public:
  explicit FakeClipboardManager(const std::string& display);
  ~FakeClipboardManager();
  FakeClipboardManager(const FakeClipboardManager&) = delete;
  FakeClipboardManager& operator=(const FakeClipboardManager&) = delete;

  // Waits for the thread; answers the text saved, empty when no request came.
  std::string Wait();

 private:
  void Serve();
  ::_XDisplay* display_ = nullptr;
  unsigned long window_ = 0;
  std::string saved_;
  std::thread thread_;
};

// Writes `image` as a binary PPM (P6) file; answers false on failure.
bool WritePpm(const XImageCopy& image, const std::string& path);

}  // namespace klv::testing
