// The refused copy brings the first copy's window to the front, on a private X server where
// the test itself plays the window manager: it maps the windows that ask to be mapped and
// receives the activation requests (_NET_ACTIVE_WINDOW) that bringing a window forward sends.
// GoogleTest first: Xlib defines macros (None, Bool, Status) that its headers also use.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <memory>
#include <set>

#include "tests/app/program_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_display.h"

namespace klv {
namespace {

constexpr int kReaderTimeoutMs = 30000;
constexpr int kRefusedTimeoutMs = 30000;
constexpr int kRaiseTimeoutMs = 30000;
constexpr int kRunTimeoutMs = 60000;

bool redirect_refused = false;
int RecordRedirectError(Display*, XErrorEvent* error) {
  if (error->error_code == BadAccess) redirect_refused = true;
  return 0;
}

// The least of a window manager: maps what asks to be mapped, grants configure requests and
// notes the windows that were asked to become active.
class TestWindowManager {
 public:
  explicit TestWindowManager(const std::string& display_name)
      : display_(XOpenDisplay(display_name.c_str())) {
    if (display_ == nullptr) return;
    active_window_atom_ = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    redirect_refused = false;
    XErrorHandler previous = XSetErrorHandler(RecordRedirectError);
    XSelectInput(display_, DefaultRootWindow(display_),
                 SubstructureRedirectMask | SubstructureNotifyMask);
    XSync(display_, False);
    XSetErrorHandler(previous);
    managing_ = !redirect_refused;
  }
  ~TestWindowManager() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  bool managing() const { return managing_; }

  // Handles the events that are queued, then waits for more (or for `also_fd` to become
  // readable) until `done` holds or `timeout_ms` passes. Answers whether `done` holds.
  template <typename Done>
  bool Serve(int timeout_ms, Done done, int also_fd = -1) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      XSync(display_, False);
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        Handle(event);
      }
      if (done()) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return false;
      pollfd entries[2] = {{ConnectionNumber(display_), POLLIN, 0}, {also_fd, POLLIN, 0}};
      ::poll(entries, also_fd >= 0 ? 2 : 1, static_cast<int>(left));
    }
  }

  std::set<Window> mapped;        // windows that asked to be mapped
  std::set<Window> asked_active;  // windows that were asked to come to the front
  std::set<std::string> mapped_names;

 private:
  void Handle(const XEvent& event) {
    switch (event.type) {
      case MapRequest: {
        const Window window = event.xmaprequest.window;
        mapped.insert(window);
        char* name = nullptr;
        if (XFetchName(display_, window, &name) && name != nullptr) {
          mapped_names.insert(name);
          XFree(name);
        }
        XMapWindow(display_, window);
        break;
      }
      case ConfigureRequest: {
        const XConfigureRequestEvent& request = event.xconfigurerequest;
        XWindowChanges changes{};
        changes.x = request.x;
        changes.y = request.y;
        changes.width = request.width;
        changes.height = request.height;
        changes.border_width = request.border_width;
        changes.sibling = request.above;
        changes.stack_mode = request.detail;
        XConfigureWindow(display_, request.window, static_cast<unsigned>(request.value_mask),
                         &changes);
        break;
      }
      case ClientMessage:
        if (event.xclient.message_type == active_window_atom_) {
          asked_active.insert(event.xclient.window);
        }
        break;
      default:
        break;
    }
  }

  Display* display_;
  Atom active_window_atom_ = 0;
  bool managing_ = false;
};

TEST(BringToFrontProgramTest, RefusedCopyBringsTheFirstCopysWindowToTheFront) {
  std::string why_not;
  const std::unique_ptr<testing::XvfbServer> server = testing::XvfbServer::Start(&why_not);
  if (server == nullptr) GTEST_SKIP() << why_not;
  TestWindowManager manager(server->display());
  ASSERT_TRUE(manager.managing());

  testing::TempDir dir;
  const std::string program =
      testing::CopyOfProgram(testing::BuiltProgram("app/klv_upd"), dir.path() + "bin");
  auto environment = [&](const std::string& tag) {
    return std::map<std::string, std::optional<std::string>>{
        {"KLV_PROGRAM_FILES", dir.path() + tag + "/pf"},
        {"KLV_COMMON_APPDATA", dir.path() + tag + "/data"},
        {"KLV_SYSTEM32", dir.path() + tag + "/sys"},
        {"DISPLAY", server->display()},
        {"WAYLAND_DISPLAY", std::nullopt}};
  };

  // The first copy waits in its window's creation, after the single-instance check.
  testing::HeldFile settings(dir.path() + "first/pf/Velmora/KLV.SYS");
  testing::ChildProgram first(program, {}, environment("first"), dir.path() + "first");
  ASSERT_TRUE(settings.WaitForReader(kReaderTimeoutMs)) << "the first copy never read KLV.SYS";

  dir.Write("second/pf/Velmora/KLV.SYS", "");
  testing::ChildProgram second(program, {}, environment("second"), dir.path() + "second");
  EXPECT_EQ(second.WaitExit(kRefusedTimeoutMs), 0);
  EXPECT_EQ(second.StandardError(), "");
  manager.Serve(0, [] { return true; });
  EXPECT_TRUE(manager.mapped.empty()) << "the refused copy showed no window";

  // Released, the first copy shows its window and answers the request that waits for it.
  settings.Release("");
  EXPECT_TRUE(manager.Serve(kRaiseTimeoutMs, [&] {
    for (const Window window : manager.asked_active) {
      if (manager.mapped.count(window) != 0) return true;
    }
    return false;
  })) << "the first copy's window was not brought to the front";
  EXPECT_EQ(manager.mapped.size(), 1u);
  EXPECT_EQ(manager.mapped_names, std::set<std::string>{"Update"});

  const bool ended = manager.Serve(
      kRunTimeoutMs, [&] { return first.WaitExit(0).has_value(); }, first.end_fd());
  EXPECT_TRUE(ended);
  EXPECT_EQ(first.WaitExit(0), 0) << first.StandardError();
}

}  // namespace
}  // namespace klv
