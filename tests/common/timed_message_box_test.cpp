// The timed message box: the default-answer table, the answer, the time-out through an
// injected clock, and the box without a display.
#include "common/timed_message_box.h"

#include "tests/support/fake_view.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/fake_view.h"

namespace klv {
namespace {

// Bound for the test's own waits on the worker; they end as soon as the condition holds.
constexpr auto kWorkerTimeout = std::chrono::seconds(30);

TEST(DefaultAnswerTest, AnswersTheDefaultButtonOrTheLastOne) {
  constexpr uint32_t kFields[] = {0x000, 0x100, 0x200, 0x300, 0x400};
  struct Row {
    uint32_t button_set;
    int32_t answers[5];  // per default-button field, as in kFields
  } const rows[] = {
      {kMbOk, {kIdOk, kIdOk, kIdOk, kIdOk, kIdCancel}},
      {kMbOkCancel, {kIdOk, kIdCancel, kIdCancel, kIdCancel, kIdCancel}},
      {kMbAbortRetryIgnore, {kIdAbort, kIdRetry, kIdIgnore, kIdIgnore, kIdCancel}},
      {kMbYesNoCancel, {kIdYes, kIdNo, kIdCancel, kIdCancel, kIdCancel}},
      {kMbYesNo, {kIdYes, kIdNo, kIdNo, kIdNo, kIdCancel}},
      {kMbRetryCancel, {kIdRetry, kIdCancel, kIdCancel, kIdCancel, kIdCancel}},
      {6, {kIdCancel, kIdCancel, kIdCancel, kIdCancel, kIdCancel}},
      {15, {kIdCancel, kIdCancel, kIdCancel, kIdCancel, kIdCancel}},
  };
  for (const Row& row : rows) {
    for (int column = 0; column < 5; ++column) {
      const uint32_t flags = row.button_set | kFields[column];
      EXPECT_EQ(DefaultAnswer(flags), row.answers[column]) << std::hex << flags;
      // Icon and other bits pass through without changing the answer.
      EXPECT_EQ(DefaultAnswer(flags | kMbIconInformation | kMbTopMost), row.answers[column])
          << std::hex << flags;
    }
  }
  EXPECT_EQ(DefaultAnswer(kMbOk | 0xF00), kIdCancel);
}

// A box that a test answers or lets time out.
class FakeBox : public MessageBoxUi {
 public:
  bool Interactive() const override { return true; }
  void BringApplicationToFront() override { ++brought_to_front; }
  int32_t Show(const std::string& text, const std::string& caption, uint32_t flags) override {
    std::unique_lock<std::mutex> lock(mutex_);
    shown_text = text;
    shown_caption = caption;
    shown_flags = flags;
    changed_.wait(lock, [this] { return answer_ready_ || dismissed; });
    return dismissed ? 0 : answer_;
  }
  void Dismiss() override {
    const std::lock_guard<std::mutex> lock(mutex_);
    dismissed = true;
    changed_.notify_all();
  }
  // The user presses a button.
  void Answer(int32_t answer) {
    const std::lock_guard<std::mutex> lock(mutex_);
    answer_ = answer;
    answer_ready_ = true;
    changed_.notify_all();
  }

  int brought_to_front = 0;
  bool dismissed = false;
  std::string shown_text;
  std::string shown_caption;
  uint32_t shown_flags = 0;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int32_t answer_ = 0;
  bool answer_ready_ = false;
};

// Records the waits; during the wait numbered `answer_during` (from 1) the user answers and
// the wait lasts until the worker has taken the box down.
class AnsweringClock : public platform::Clock {
 public:
  AnsweringClock(FakeBox& box, int answer_during, int32_t answer)
      : box_(box), answer_during_(answer_during), answer_(answer) {}
  void Sleep(std::chrono::milliseconds duration) override {
    waits.push_back(duration.count());
    if (static_cast<int>(waits.size()) != answer_during_) return;
    box_.Answer(answer_);
    const auto deadline = std::chrono::steady_clock::now() + kWorkerTimeout;
    while (MessageBoxUp() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
  }
  std::chrono::steady_clock::time_point Now() override { return {}; }

  std::vector<long long> waits;

 private:
  FakeBox& box_;
  int answer_during_;
  int32_t answer_;
};

TEST(TimedMessageBoxTest, AnswerComesBackAfterTheWaitItCameIn) {
  FakeBox box;
  AnsweringClock clock(box, 1, kIdNo);
  EXPECT_EQ(TimedMessageBox("Go on?", kMbYesNo, box, clock), kIdNo);
  EXPECT_EQ(clock.waits, std::vector<long long>{1000});
  EXPECT_EQ(box.brought_to_front, 1);
  EXPECT_EQ(box.shown_text, "Go on?");
  EXPECT_EQ(box.shown_caption, "Velmora");
  EXPECT_EQ(box.shown_flags, kMbYesNo | kMbTopMost | kMbSetForeground);
  EXPECT_FALSE(box.dismissed);
  EXPECT_FALSE(MessageBoxUp());
}

TEST(TimedMessageBoxTest, UnansweredBoxIsTakenAwayAfterSixtyWaitsWithTheDefault) {
  struct Case {
    uint32_t flags;
    int32_t expected;
  } const cases[] = {
      {kMbIconInformation, kIdOk},
      {kMbYesNo | kMbDefButton2, kIdNo},
      {kMbYesNoCancel | kMbDefButton4, kIdCancel},
  };
  for (const Case& c : cases) {
    FakeBox box;
    testing::FakeClock clock;
    EXPECT_EQ(TimedMessageBox("Compile required!", c.flags, box, clock), c.expected);
    EXPECT_EQ(clock.waits, std::vector<long long>(kMessageBoxTimeout, 1000));
    EXPECT_TRUE(box.dismissed);
    EXPECT_FALSE(MessageBoxUp());
  }
}

TEST(TimedMessageBoxTest, AnswerDuringTheLastWaitStillGivesTheDefault) {
  FakeBox box;
  AnsweringClock clock(box, kMessageBoxTimeout, kIdYes);
  EXPECT_EQ(TimedMessageBox("Go on?", kMbYesNo | kMbDefButton2, box, clock), kIdNo);
  EXPECT_EQ(clock.waits.size(), static_cast<size_t>(kMessageBoxTimeout));
}

TEST(TimedMessageBoxTest, WithoutADisplayTheTextIsWrittenAndTheDefaultComesAtOnce) {
  std::ostringstream out;
  ConsoleMessageBox box(out);
  testing::FakeClock clock;
  EXPECT_EQ(TimedMessageBox("Line one\r\nline two", kMbYesNoCancel | kMbDefButton3, box, clock),
            kIdCancel);
  EXPECT_EQ(out.str(), "Velmora: Line one  line two\n");
  EXPECT_TRUE(clock.waits.empty());
}

}  // namespace
}  // namespace klv
