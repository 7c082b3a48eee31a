// The update window on a display: an FLTK window laid out as the product's update form.
// Caption "Update", no close button, stay-on-top, centred, client area 386 x 80 at 96 dpi,
// the picture `im` at the left, the three-line status label `la` and the progress bar `pb`
// to its right. FLTK itself stays inside fltk_window.cpp.
#pragma once

#include <memory>
#include <string>

#include "update/update_view.h"

namespace klv {

class FltkWindow final : public UpdateView {
 public:
  // Creates the window (not yet shown) on the display named by DISPLAY; answers nullptr when
  // that display cannot be opened. Once a display is open, later windows reuse it.
  static std::unique_ptr<FltkWindow> Create();
  // Destroys the window; it disappears from the display.
  ~FltkWindow() override;
  FltkWindow(const FltkWindow&) = delete;
  FltkWindow& operator=(const FltkWindow&) = delete;

  // Maps the window centred on the screen with the stay-on-top state and no close button,
  // and waits (boundedly) until it has been painted once.
  void Show() override;
  void SetCaption(const std::string& text) override;
  // Word-wrapped into the label; lines beyond the third are cut off. A carriage return
  // (alone or before a line feed) breaks the line.
  void SetStatusText(const std::string& text) override;
  // Painted at the next ProcessMessages.
  void SetProgress(int32_t position, int32_t maximum) override;
  void ShowErrorPicture() override;
  void ProcessMessages() override;
  // Puts the text on the clipboard and, when the desktop runs a clipboard manager, waits
  // (boundedly) until the manager has taken a copy, so that the text outlives the program.
  void CopyToClipboard(const std::string& text) override;
  // A modal message box over the window; waits for the user (see fltk_message_box.h).
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void BringToFront() override;

  // The X window id of the shown window, 0 before Show.
  unsigned long NativeHandle() const;

 private:
  struct Widgets;
  FltkWindow();
  void HandClipboardToManager();
  std::unique_ptr<Widgets> widgets_;
};

}  // namespace klv
