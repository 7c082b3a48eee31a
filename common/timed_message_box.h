// TimedMessageBox: a system-style message box that cannot hold the program up for ever. The
// box runs on a worker thread (MessageBoxThread); the caller waits at most
// kMessageBoxTimeout one-second steps and then goes on with the answer of the box's default
// button. Every box has the caption "Velmora", stays on top and comes to the foreground.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "platform/clock.h"

namespace klv {

// Style bits and answers are the system message box's own values.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbRetryCancel = 0x5;
inline constexpr uint32_t kMbTypeMask = 0xF;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbDefButton3 = 0x200;
inline constexpr uint32_t kMbDefButton4 = 0x300;
inline constexpr uint32_t kMbDefMask = 0xF00;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbSetForeground = 0x10000;
inline constexpr uint32_t kMbTopMost = 0x40000;

inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;
inline constexpr int32_t kIdAbort = 3;
inline constexpr int32_t kIdRetry = 4;
inline constexpr int32_t kIdIgnore = 5;
inline constexpr int32_t kIdYes = 6;
inline constexpr int32_t kIdNo = 7;

inline constexpr char kMessageBoxCaption[] = "Velmora";
// Number of one-second waits before an unanswered box is given up.
inline constexpr int32_t kMessageBoxTimeout = 60;
inline constexpr auto kMessageBoxWaitStep = std::chrono::milliseconds(1000);

// The answer of the default button named by `flags` (bits 8 to 11) in its button set (bits 0
// to 3), or of the last button when the field names one beyond it; Cancel for unknown sets
// and for a field of 0x400 or more.
int32_t DefaultAnswer(uint32_t flags);

// The box itself, as the platform shows it.
class MessageBoxUi {
 public:
  virtual ~MessageBoxUi() = default;
  // False when nobody can answer (no display): the box's text is written out instead.
  virtual bool Interactive() const = 0;
  // Brings the application to the front before a box appears.
  virtual void BringApplicationToFront() = 0;
  // Shows the box on the calling (worker) thread and blocks until it is answered or
  // dismissed; answers the button's value, 0 when the box cannot be shown or was dismissed.
  // Without interaction: writes the box and answers at once.
  virtual int32_t Show(const std::string& text, const std::string& caption, uint32_t flags) = 0;
  // Called from the waiting thread after the time-out: takes the box away, so that Show
  // returns. May come before Show has put the box up; Show must then return at once.
  virtual void Dismiss() = 0;
};

// Shows `text` with `flags` (0x40000 always-on-top and 0x10000 set-foreground are added) and
// answers the box's answer, or DefaultAnswer(flags) when kMessageBoxTimeout waits of one
// second on `clock` pass without one (also when the answer came during the last wait).
// Without interaction the text is written and the default answer comes back at once.
// One box at a time; call from the main thread.
int32_t TimedMessageBox(const std::string& text, uint32_t flags, MessageBoxUi& ui,
                        platform::Clock& clock);

// True while a worker has a box up: set before the worker starts, cleared by the worker once
// its box has returned and its answer is stored.
bool MessageBoxUp();

// The box without a display: its caption and text go to `out` as one line (carriage returns
// and line feeds inside the text become blanks); nobody answers.
class ConsoleMessageBox final : public MessageBoxUi {
 public:
  explicit ConsoleMessageBox(std::ostream& out) : out_(out) {}
  bool Interactive() const override { return false; }
  void BringApplicationToFront() override {}
  int32_t Show(const std::string& text, const std::string& caption, uint32_t flags) override;
  void Dismiss() override {}

 private:
  std::ostream& out_;
};

}  // namespace klv
