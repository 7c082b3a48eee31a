#include "common/timed_message_box.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace klv {

namespace {

// The answers of each button set's buttons, in order; sets beyond the table answer Cancel.
struct ButtonSet {
  std::array<int32_t, 3> answers;
  std::size_t count;
};
constexpr std::array<ButtonSet, 6> kButtonSets = {{
    {{kIdOk}, 1},                          // OK
    {{kIdOk, kIdCancel}, 2},               // OK/Cancel
    {{kIdAbort, kIdRetry, kIdIgnore}, 3},  // Abort/Retry/Ignore
    {{kIdYes, kIdNo, kIdCancel}, 3},       // Yes/No/Cancel
    {{kIdYes, kIdNo}, 2},                  // Yes/No
    {{kIdRetry, kIdCancel}, 2},            // Retry/Cancel
}};
constexpr uint32_t kDefaultButtonShift = 8;
constexpr uint32_t kDefaultButtonFields = 4;  // first to fourth button

// The shared state of the one box that can be up at a time.
struct BoxState {
  std::mutex one_box;              // held by the caller for the whole box
  std::string text;                // BoxText: written before the worker starts, read by it
  uint32_t flags = 0;              // BoxFlags
  std::atomic<int32_t> answer{0};  // BoxAnswer
  // BoxThreadHandle: set before the worker starts, so a box that returns at once cannot
  // clear it before it is published; cleared (release) after the answer is stored.
  std::atomic<bool> up{false};
};

BoxState& Box() {
  static BoxState box;
  return box;
}

void MessageBoxThread(MessageBoxUi& ui) {
  BoxState& box = Box();
  int32_t answer = 0;
  try {
    answer = ui.Show(box.text, kMessageBoxCaption, box.flags);
  } catch (...) {
    answer = 0;  // a box that cannot be shown answers 0
  }
  box.answer.store(answer, std::memory_order_relaxed);
  box.up.store(false, std::memory_order_release);
}

}  // namespace

int32_t DefaultAnswer(uint32_t flags) {
  const uint32_t set = flags & kMbTypeMask;
  const uint32_t field = (flags & kMbDefMask) >> kDefaultButtonShift;
  if (set >= kButtonSets.size() || field >= kDefaultButtonFields) return kIdCancel;
  const ButtonSet& buttons = kButtonSets[set];
  return buttons.answers[std::min<std::size_t>(field, buttons.count - 1)];
}

bool MessageBoxUp() {
  return Box().up.load(std::memory_order_acquire);
}

int32_t TimedMessageBox(const std::string& text, uint32_t flags, MessageBoxUi& ui,
                        platform::Clock& clock) {
  BoxState& box = Box();
  const std::lock_guard<std::mutex> one_box(box.one_box);
  ui.BringApplicationToFront();
  const int32_t default_answer = DefaultAnswer(flags);
  box.text = text;
  box.flags = flags | kMbTopMost | kMbSetForeground;
  if (!ui.Interactive()) {
    ui.Show(box.text, kMessageBoxCaption, box.flags);
    return default_answer;
  }

  box.up.store(true, std::memory_order_release);
  std::thread worker(MessageBoxThread, std::ref(ui));
  int32_t waits_left = kMessageBoxTimeout;
  while (box.up.load(std::memory_order_acquire) && waits_left > 0) {
    clock.Sleep(kMessageBoxWaitStep);
    --waits_left;
  }
  if (waits_left > 0) {
    worker.join();
    return box.answer.load(std::memory_order_relaxed);
  }
  // Timed out, also when the answer came during the last wait: the box is taken away.
  ui.Dismiss();
  worker.join();
  box.up.store(false, std::memory_order_release);
  return default_answer;
}

int32_t ConsoleMessageBox::Show(const std::string& text, const std::string& caption, uint32_t) {
  std::string line = caption + ": " + text;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  out_ << line << '\n' << std::flush;
  return 0;
}

}  // namespace klv
