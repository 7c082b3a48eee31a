// Test doubles for the engine's window and clock: they record what the engine did.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "update/update_view.h"

namespace klv::testing {

class FakeView : public UpdateView {
 public:
  void Show() override { events.push_back("show"); }
  void Activate() override { events.push_back("activate"); }
  void Deactivate() override { events.push_back("deactivate"); }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetStatusText(const std::string& text) override {
    status = text;
    events.push_back("status:" + text);
  }
  void SetProgress(int32_t p, int32_t max) override {
    position = p;
    maximum = max;
  }
  void ShowErrorPicture() override {
    error_picture = true;
    events.push_back("error picture");
  }
  void ProcessMessages() override { ++messages_processed; }
  void CopyToClipboard(const std::string& text) override { clipboard = text; }

  std::vector<std::string> events;
  std::string caption = "Update";
  std::string status;
  std::string clipboard;
  int32_t position = -1;
  int32_t maximum = -1;
  bool error_picture = false;
  int messages_processed = 0;
};

// Records the waits instead of sleeping.
class FakeClock : public platform::Clock {
 public:
  void Sleep(std::chrono::milliseconds duration) override {
    waits.push_back(duration.count());
    now_ += duration;
  }
  std::chrono::steady_clock::time_point Now() override { return now_; }

  std::vector<long long> waits;

 private:
  std::chrono::steady_clock::time_point now_{};
};

}  // namespace klv::testing
