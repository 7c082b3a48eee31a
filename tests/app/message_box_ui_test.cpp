// The timed message box's FLTK box on a private X server: it appears with its caption and the
// stay-on-top state, answers a pressed button, and goes away unanswered after the time-out.
#include "app/message_box_ui.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_display.h"

namespace klv {
namespace {

constexpr int kWindowTries = 500;
constexpr int kWindowPollMs = 20;
// The box's layout: buttons 80 x 26, the last one 12 from the right and bottom edges.
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kMargin = 12;
constexpr auto kAnswerTimeout = std::chrono::seconds(30);
constexpr char kXdotool[] = "/usr/bin/xdotool";

// One Xvfb for the suite: FLTK keeps its display connection for the life of the process.
class MessageBoxUiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string why_not;
    server_ = testing::XvfbServer::Start(&why_not).release();
    if (server_ == nullptr) why_not_ = new std::string(why_not);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << *why_not_;
    display_ = std::make_unique<testing::ScopedEnv>("DISPLAY", server_->display().c_str());
    client_ = std::make_unique<testing::XClient>(server_->display());
    ASSERT_TRUE(client_->connected());
  }

  static testing::XvfbServer* server_;
  static std::string* why_not_;
  std::unique_ptr<testing::ScopedEnv> display_;
  std::unique_ptr<testing::XClient> client_;
};

testing::XvfbServer* MessageBoxUiTest::server_ = nullptr;
std::string* MessageBoxUiTest::why_not_ = nullptr;

// A clock that, at its first wait, lets the test look at the box and act on it; when the
// test answers the box, that wait lasts until the box is down.
class BoxClock : public platform::Clock {
 public:
  BoxClock(std::function<void()> at_first_wait, bool answers)
      : at_first_wait_(std::move(at_first_wait)), answers_(answers) {}
  void Sleep(std::chrono::milliseconds duration) override {
    waits.push_back(duration.count());
    if (waits.size() != 1) return;
    at_first_wait_();
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    while (answers_ && MessageBoxUp() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
  }
  std::chrono::steady_clock::time_point Now() override { return {}; }
  std::vector<long long> waits;

 private:
  std::function<void()> at_first_wait_;
  bool answers_;
};

TEST_F(MessageBoxUiTest, UnansweredBoxAppearsOnTopAndGoesAwayWithTheDefault) {
  const std::unique_ptr<MessageBoxUi> ui = CreateMessageBoxUi();
  ASSERT_TRUE(ui->Interactive());
  unsigned long box = 0;
  std::vector<std::string> state;
  BoxClock clock(
      [&] {
        box = client_->WaitForWindow("Velmora", kWindowTries, kWindowPollMs);
        if (box != 0) state = client_->AtomList(box, "_NET_WM_STATE");
      },
      false);
  EXPECT_EQ(TimedMessageBox("Compile required!", kMbIconInformation, *ui, clock), kIdOk);
  ASSERT_NE(box, 0u) << "the box never appeared";
  EXPECT_NE(std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE"), state.end());
  EXPECT_EQ(clock.waits.size(), static_cast<size_t>(kMessageBoxTimeout));
  EXPECT_EQ(client_->FindWindow("Velmora"), 0u) << "the box was taken away";
}

TEST_F(MessageBoxUiTest, PressedButtonIsTheAnswer) {
  if (::access(kXdotool, X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  const std::unique_ptr<MessageBoxUi> ui = CreateMessageBoxUi();
  BoxClock clock(
      [&] {
        const unsigned long box = client_->WaitForWindow("Velmora", kWindowTries, kWindowPollMs);
        ASSERT_NE(box, 0u);
        const testing::XGeometry where = client_->Geometry(box);
        // The middle of "No", the last of the two buttons.
        const int x = where.x + where.width - kMargin - kButtonWidth / 2;
        const int y = where.y + where.height - kMargin - kButtonHeight / 2;
        const testing::ProgramResult click = testing::RunProgram(
            kXdotool, {"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
        EXPECT_EQ(click.exit_code, 0) << click.standard_error;
      },
      true);
  // Yes is the default, so only the click can give No.
  const int32_t answer = TimedMessageBox("Go on?", kMbYesNo, *ui, clock);
  EXPECT_EQ(answer, kIdNo);
  EXPECT_LT(clock.waits.size(), static_cast<size_t>(kMessageBoxTimeout));
}

}  // namespace
}  // namespace klv
