// The FLTK update window on a private Xvfb server, read back through Xlib: names, properties,
// geometry and pixels.
#include "update/fltk_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/x_display.h"
#include "update/console_view.h"
#include "update/fltk_message_box.h"
#include "update/view_factory.h"

namespace klv {
namespace {

using testing::XClient;
using testing::XImageCopy;
using testing::XvfbServer;

constexpr uint32_t kButtonFace = 0xF0F0F0;
constexpr uint32_t kBarBorder = 0xBCBCBC;
constexpr uint32_t kBarTrough = 0xE6E6E6;
constexpr uint32_t kBarFill = 0x06B025;
// The label: 78, 8, 300 x 41, lines 13 pixels apart.
constexpr int kLabelLeft = 78;
constexpr int kLabelTop = 8;
constexpr int kLabelRight = 378;
constexpr int kLabelBottom = 49;
constexpr int kLineHeight = 13;
constexpr int kPumpTries = 200;

bool IsInk(uint32_t pixel) {
  return ((pixel >> 16) & 0xFF) < 0xA0 && ((pixel >> 8) & 0xFF) < 0xA0 && (pixel & 0xFF) < 0xA0;
}

// Dark (text) pixels in the rectangle [left, right) x [top, bottom).
int InkIn(const XImageCopy& image, int left, int top, int right, int bottom) {
  int count = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) count += IsInk(image.At(x, y)) ? 1 : 0;
  }
  return count;
}

// Pixels that differ from the form colour in the rectangle.
int PaintedIn(const XImageCopy& image, int left, int top, int right, int bottom) {
  int count = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) count += image.At(x, y) != kButtonFace ? 1 : 0;
  }
  return count;
}

int LineInk(const XImageCopy& image, int line) {
  const int top = kLabelTop + line * kLineHeight;
  return InkIn(image, kLabelLeft, top, kLabelRight, top + kLineHeight);
}

std::string Words(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i == 0 ? "" : " ") + std::string("Extracting");
  return text;
}

// One Xvfb for the whole suite: FLTK keeps its display connection for the life of the process.
class FltkWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = XvfbServer::Start(&why_not_).release();
    if (server_ != nullptr)
      display_ = std::make_unique<testing::ScopedEnv>("DISPLAY", server_->display().c_str());
  }
  static void TearDownTestSuite() {
    display_.reset();
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << why_not_;
    client_ = std::make_unique<XClient>(server_->display());
    ASSERT_TRUE(client_->connected());
    window_ = FltkWindow::Create();
    ASSERT_NE(window_, nullptr);
  }

  // Shows the window and answers its X id.
  unsigned long Show() {
    window_->Show();
    window_->ProcessMessages();
    return window_->NativeHandle();
  }

  // The window's pixels once pending repaints are done: messages are processed until two
  // captures in a row agree (a map or expose may still be on its way on a busy machine).
  XImageCopy Repainted(unsigned long id) {
    window_->ProcessMessages();
    XImageCopy image = client_->Capture(id);
    for (int round = 0; round < 50; ++round) {
      window_->ProcessMessages();
      XImageCopy again = client_->Capture(id);
      if (again.pixels == image.pixels) break;
      image = std::move(again);
    }
    return image;
  }

  static XvfbServer* server_;
  static std::string why_not_;
  static std::unique_ptr<testing::ScopedEnv> display_;
  std::unique_ptr<XClient> client_;
  std::unique_ptr<FltkWindow> window_;
};

XvfbServer* FltkWindowTest::server_ = nullptr;
std::string FltkWindowTest::why_not_;
std::unique_ptr<testing::ScopedEnv> FltkWindowTest::display_;

TEST_F(FltkWindowTest, ShowsUpdateCaptionWithClientArea386x80CentredOnScreen) {
  EXPECT_EQ(window_->NativeHandle(), 0u);
  const unsigned long id = Show();
  ASSERT_NE(id, 0u);
  EXPECT_EQ(client_->FindWindow("Update"), id);
  EXPECT_TRUE(client_->IsMapped(id));
  const testing::XGeometry geometry = client_->Geometry(id);
  EXPECT_EQ(geometry.width, 386);
  EXPECT_EQ(geometry.height, 80);
  // The test server's screen is 1280 x 1024.
  EXPECT_EQ(geometry.x, (1280 - 386) / 2);
  EXPECT_EQ(geometry.y, (1024 - 80) / 2);
}

TEST_F(FltkWindowTest, AsksForStayOnTopFixedSizeAndNoCloseButton) {
  const unsigned long id = Show();
  const std::vector<std::string> state = client_->AtomList(id, "_NET_WM_STATE");
  EXPECT_NE(std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE"), state.end());

  // Motif hints: flags, functions, decorations, input mode, status.
  const std::vector<long> motif = client_->Longs(id, "_MOTIF_WM_HINTS");
  ASSERT_EQ(motif.size(), 5u);
  EXPECT_EQ(motif[0] & 3, 3);     // functions and decorations given
  EXPECT_EQ(motif[1], 4);         // move only: no close, resize, minimise or maximise
  EXPECT_EQ(motif[2] & 0x70, 0);  // no window menu, minimise or maximise button
  EXPECT_NE(motif[2] & 0x08, 0);  // but a title

  // WM_NORMAL_HINTS: flags, 4 obsolete fields, minimum and maximum size.
  const std::vector<long> size = client_->Longs(id, "WM_NORMAL_HINTS");
  ASSERT_GE(size.size(), 9u);
  EXPECT_EQ(size[5], 386);
  EXPECT_EQ(size[6], 80);
  EXPECT_EQ(size[7], 386);
  EXPECT_EQ(size[8], 80);
}

TEST_F(FltkWindowTest, PlacesPictureLabelAndBarInTheFormColour) {
  const unsigned long id = Show();
  window_->SetStatusText("Checking for updates...");
  window_->SetProgress(50, 100);
  const XImageCopy image = Repainted(id);
  ASSERT_EQ(image.width, 386);
  ASSERT_EQ(image.height, 80);

  // Margins and gaps stay in the form colour: top and bottom 8 rows, left 8 columns,
  // between picture and label, right of label and bar, between label and bar.
  EXPECT_EQ(PaintedIn(image, 0, 0, 386, 8), 0);
  EXPECT_EQ(PaintedIn(image, 0, 72, 386, 80), 0);
  EXPECT_EQ(PaintedIn(image, 0, 0, 8, 80), 0);
  EXPECT_EQ(PaintedIn(image, 72, 0, 78, 80), 0);
  EXPECT_EQ(PaintedIn(image, 378, 0, 386, 80), 0);
  EXPECT_EQ(PaintedIn(image, 78, kLabelBottom, 378, 55), 0);

  // The globe fills the picture at 8, 8, 64 x 64: blue in the middle of its upper half.
  const uint32_t globe = image.At(40, 20);
  EXPECT_GT(globe & 0xFF, (globe >> 16) & 0xFF) << std::hex << globe;
  EXPECT_GT(PaintedIn(image, 8, 8, 72, 72), 64 * 64 / 2);

  // The status text is on the first line of the label only.
  EXPECT_GT(LineInk(image, 0), 20);
  EXPECT_EQ(LineInk(image, 1), 0);
  EXPECT_EQ(LineInk(image, 2), 0);

  // The bar: border at 78, 55 to 377, 71; half of its 298 inner columns filled.
  EXPECT_EQ(image.At(78, 55), kBarBorder);
  EXPECT_EQ(image.At(377, 71), kBarBorder);
  EXPECT_EQ(image.At(79, 63), kBarFill);
  EXPECT_EQ(image.At(79 + 148, 63), kBarFill);
  EXPECT_EQ(image.At(79 + 149, 63), kBarTrough);
  EXPECT_EQ(image.At(376, 63), kBarTrough);
}

struct BarCase {
  int32_t position;
  int32_t maximum;
  int filled;  // of the 298 inner columns
};

TEST_F(FltkWindowTest, FillsBarInProportion) {
  const unsigned long id = Show();
  const BarCase cases[] = {{0, 100, 0}, {100, 100, 298}, {0, 0, 0}, {1, 2, 149}, {3, 3, 298}};
  for (const BarCase& c : cases) {
    window_->SetProgress(c.position, c.maximum);
    const XImageCopy image = Repainted(id);
    int filled = 0;
    for (int x = 79; x < 377; ++x) filled += image.At(x, 63) == kBarFill ? 1 : 0;
    EXPECT_EQ(filled, c.filled) << c.position << " of " << c.maximum;
  }
}

TEST_F(FltkWindowTest, LabelShowsThreeLinesAndCutsTheRestOff) {
  const unsigned long id = Show();
  window_->SetStatusText(Words(30));
  const XImageCopy long_text = Repainted(id);
  EXPECT_GT(LineInk(long_text, 0), 20);
  EXPECT_GT(LineInk(long_text, 1), 20);
  EXPECT_GT(LineInk(long_text, 2), 20);
  EXPECT_EQ(InkIn(long_text, kLabelLeft, kLabelTop + 3 * kLineHeight, kLabelRight, 55), 0);

  // Still more text changes nothing that is visible.
  window_->SetStatusText(Words(60));
  const XImageCopy longer_text = Repainted(id);
  EXPECT_EQ(long_text.pixels, longer_text.pixels);

  // Three lines' worth of text is shown whole; a shorter one leaves the third line empty.
  window_->SetStatusText(Words(8));
  const XImageCopy short_text = Repainted(id);
  EXPECT_GT(LineInk(short_text, 1), 20);
  EXPECT_EQ(LineInk(short_text, 2), 0);
}

TEST_F(FltkWindowTest, CarriageReturnsBreakLines) {
  const unsigned long id = Show();
  window_->SetStatusText("Connection failed: a\r\rConnection failed: b\r\r");
  const XImageCopy image = Repainted(id);
  EXPECT_GT(LineInk(image, 0), 20);
  EXPECT_EQ(LineInk(image, 1), 0);
  EXPECT_GT(LineInk(image, 2), 20);

  // CR LF is one break.
  window_->SetStatusText("one\r\ntwo");
  const XImageCopy crlf = Repainted(id);
  EXPECT_GT(LineInk(crlf, 1), 5);
  EXPECT_EQ(LineInk(crlf, 2), 0);
}

TEST_F(FltkWindowTest, ErrorPictureReplacesGlobe) {
  const unsigned long id = Show();
  const XImageCopy before = Repainted(id);
  window_->ShowErrorPicture();
  const XImageCopy after = Repainted(id);
  // Above the cross the disc is red where the globe was blue; the cross is white at the centre.
  const uint32_t disc = after.At(40, 20);
  EXPECT_GT((disc >> 16) & 0xFF, 0xB0u) << std::hex << disc;
  EXPECT_LT((disc >> 8) & 0xFF, 0x60u) << std::hex << disc;
  EXPECT_EQ(after.At(40, 40), 0xFFFFFFu);
  EXPECT_NE(before.At(40, 40), 0xFFFFFFu);
  // The stored error picture itself stays hidden: nothing else changed.
  EXPECT_EQ(PaintedIn(after, 0, 72, 386, 80), 0);
  EXPECT_EQ(PaintedIn(after, 72, 0, 386, 55), 0);
}

TEST_F(FltkWindowTest, SetCaptionRenamesWindow) {
  const unsigned long id = Show();
  window_->SetCaption("http://localhost:85/elsewhere");
  window_->ProcessMessages();
  EXPECT_EQ(client_->Name(id), "http://localhost:85/elsewhere");
}

TEST_F(FltkWindowTest, CopiesTextToClipboard) {
  Show();
  const std::string log = "Checking for updates...\r\nConnected...\r\n";
  window_->CopyToClipboard(log);
  EXPECT_EQ(client_->ClipboardText([this] { window_->ProcessMessages(); }, kPumpTries), log);
}

// The run ends right after the copy, and the clipboard's text would go with its owner.
TEST_F(FltkWindowTest, HandsClipboardTextToClipboardManager) {
  Show();
  testing::FakeClipboardManager manager(server_->display());
  const std::string log = "UpdateDownload: one\r\nConnection failed: two\r\r\r\n";
  window_->CopyToClipboard(log);
  EXPECT_EQ(manager.Wait(), log);
}

TEST_F(FltkWindowTest, BringToFrontMapsAndRaisesWindow) {
  const unsigned long id = Show();
  client_->Unmap(id);
  ASSERT_FALSE(client_->IsMapped(id));
  const unsigned long cover = client_->CreateWindow(0, 0, 1280, 1024);

  window_->BringToFront();
  // FLTK may still have to take note of the unmapping from outside (and then maps the window
  // once more): pump until the window is mapped.
  for (int i = 0; i < kPumpTries && !client_->IsMapped(id); ++i) window_->ProcessMessages();
  EXPECT_TRUE(client_->IsMapped(id));
  window_->ProcessMessages();
  const std::vector<unsigned long> order = client_->StackingOrder();
  const auto ours = std::find(order.begin(), order.end(), id);
  const auto other = std::find(order.begin(), order.end(), cover);
  ASSERT_NE(ours, order.end());
  ASSERT_NE(other, order.end());
  EXPECT_GT(ours, other) << "the window is not above the one that covered it";
}

struct BoxCase {
  unsigned flags;
  std::vector<std::string> keys;  // pressed in turn
  int answer;
};

// The box waits for the user: a second connection, on a thread of its own, plays the user.
TEST_F(FltkWindowTest, MessageBoxAnswersWithTheChosenButton) {
  Show();
  const BoxCase cases[] = {
      {0, {"Return"}, kIdOk},
      {0, {"Escape"}, kIdOk},
      {1, {"Return"}, kIdOk},
      {1, {"Escape"}, kIdCancel},
      {2, {"Return"}, kIdAbort},
      {2 | 0x200, {"Return"}, kIdIgnore},
      {3 | 0x100, {"Return"}, kIdNo},
      {3, {"Escape"}, kIdCancel},
      {4, {"Return"}, kIdYes},
      {4 | 0x100, {"Return"}, kIdNo},
      {4 | 0x100, {"Escape", "Return"}, kIdNo},  // Yes/No cannot be escaped
      {5 | 0x100, {"Return"}, kIdCancel},
      {4 | 0x300, {"Return"}, kIdYes},  // no fourth button: the first is the default
      {9, {"Return"}, kIdOk},           // unknown set: OK
  };
  for (const BoxCase& c : cases) {
    std::thread user([this, &c] {
      XClient other(server_->display());
      const unsigned long box = other.WaitForWindow("Zip Error", kPumpTries, 10);
      if (box == 0) {
        // Nobody else can end the box: stop rather than hang.
        std::fprintf(stderr, "the message box did not appear\n");
        std::abort();
      }
      for (const std::string& key : c.keys) other.PressKey(box, key);
    });
    const int answer = window_->ShowMessageBox("Unknown Compression Method", "Zip Error", c.flags);
    user.join();
    EXPECT_EQ(answer, c.answer) << "flags " << c.flags << ", first key " << c.keys[0];
    EXPECT_EQ(client_->FindWindow("Zip Error"), 0u);
  }
}

TEST_F(FltkWindowTest, DestroyingWindowRemovesIt) {
  const unsigned long id = Show();
  ASSERT_EQ(client_->FindWindow("Update"), id);
  window_.reset();
  EXPECT_EQ(client_->FindWindow("Update"), 0u);
}

TEST_F(FltkWindowTest, FactoryChoosesWindowWhenDisplayOpens) {
  const std::unique_ptr<UpdateView> view = CreateUpdateView();
  EXPECT_NE(dynamic_cast<FltkWindow*>(view.get()), nullptr);
}

struct FactoryCase {
  const char* display;
  const char* wayland;
};

TEST(ViewFactoryTest, ChoosesConsoleWithoutUsableDisplay) {
  const FactoryCase cases[] = {
      {nullptr, nullptr},
      {"", ""},
      {":999999", nullptr},      // no such server
      {nullptr, "wayland-999"},  // no X display to open
  };
  for (const FactoryCase& c : cases) {
    testing::ScopedEnv display("DISPLAY", c.display);
    testing::ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
    const std::unique_ptr<UpdateView> view = CreateUpdateView();
    EXPECT_NE(dynamic_cast<ConsoleView*>(view.get()), nullptr)
        << (c.display ? c.display : "(unset)") << " " << (c.wayland ? c.wayland : "(unset)");
  }
}

}  // namespace
}  // namespace klv
