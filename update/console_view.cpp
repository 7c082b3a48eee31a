#include "update/console_view.h"

#include <algorithm>

namespace klv {

namespace {

constexpr int kBarCells = 40;
// Back to the start of the line and clear it (VT100, understood by every terminal we meet).
constexpr char kEraseLine[] = "\r\x1b[K";

}  // namespace

ConsoleView::ConsoleView(std::ostream& out, bool is_terminal)
    : out_(out), is_terminal_(is_terminal) {}

ConsoleView::~ConsoleView() {
  EraseBar();
  out_.flush();
}

void ConsoleView::SetStatusText(const std::string& text) {
  EraseBar();
  std::string line = text;
  std::replace(line.begin(), line.end(), '\r', '\n');
  line += '\n';
  out_ << line;
  // The bar stays below the newest status text, as the window keeps it below the label.
  if (has_progress_) DrawBar();
  out_.flush();
}

void ConsoleView::SetProgress(int32_t position, int32_t maximum) {
  if (!is_terminal_) return;
  has_progress_ = true;
  std::string bar = RenderBar(position, maximum);
  if (bar_drawn_ && bar == bar_) return;
  bar_ = std::move(bar);
  EraseBar();
  DrawBar();
  out_.flush();
}

std::string ConsoleView::RenderBar(int32_t position, int32_t maximum) {
  int64_t percent = 0;
  if (maximum > 0) percent = std::clamp<int64_t>(int64_t{position} * 100 / maximum, 0, 100);
  const int filled = static_cast<int>(percent * kBarCells / 100);
  std::string bar = "[";
  bar.append(filled, '#');
  bar.append(kBarCells - filled, '-');
  bar += "] ";
  const std::string number = std::to_string(percent);
  bar.append(3 - number.size(), ' ');
  return bar + number + "%";
}

void ConsoleView::EraseBar() {
  if (!bar_drawn_) return;
  out_ << kEraseLine;
  bar_drawn_ = false;
}

void ConsoleView::DrawBar() {
  if (!is_terminal_ || bar_.empty()) return;
  out_ << bar_;
  bar_drawn_ = true;
}

}  // namespace klv
