// The update window without a display: status texts go to a text stream (standard error in the
// program), and a progress bar is drawn only when that stream is a terminal.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "update/update_view.h"

namespace klv {

class ConsoleView final : public UpdateView {
 public:
  // Writes to `out`, which must outlive the view. `is_terminal` enables the progress bar.
  ConsoleView(std::ostream& out, bool is_terminal);
  // Erases a progress bar that is still drawn.
  ~ConsoleView() override;
  ConsoleView(const ConsoleView&) = delete;
  ConsoleView& operator=(const ConsoleView&) = delete;

  void Show() override {}
  void SetCaption(const std::string&) override {}
  // Writes `text` and a line feed, every carriage return inside written as a line feed.
  void SetStatusText(const std::string& text) override;
  // On a terminal: redraws the bar line below the last status text when its look changes.
  void SetProgress(int32_t position, int32_t maximum) override;
  void ShowErrorPicture() override {}
  void ProcessMessages() override {}
  // There is no clipboard without a display: the text is dropped.
  void CopyToClipboard(const std::string&) override {}

  // The bar line for `position` of `maximum` (0 of 0 is empty): "[####----]  50%".
  static std::string RenderBar(int32_t position, int32_t maximum);

 private:
  void EraseBar();
  void DrawBar();

  std::ostream& out_;
  bool is_terminal_;
  bool has_progress_ = false;  // SetProgress was called at least once
  bool bar_drawn_ = false;     // the bar line is on the terminal now
  std::string bar_;            // the bar line as last rendered
};

}  // namespace klv
