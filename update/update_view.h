// What the update engine needs of its window. The engine never touches widgets; the FLTK
// window and the console view implement this, and tests use a fake.
#pragma once

#include <cstdint>
#include <string>

#include "zip/zip_host.h"

namespace klv {

class UpdateView {
 public:
  virtual ~UpdateView() = default;

  // Makes the window visible: stay-on-top, centred on the screen, not activated by input.
  virtual void Show() = 0;
  // Form-activation and form-deactivation notifications at the start and end of a run.
  virtual void Activate() {}
  virtual void Deactivate() {}
  virtual void SetCaption(const std::string& text) = 0;
  // The status label `la`: replaces the previous text.
  virtual void SetStatusText(const std::string& text) = 0;
  // The progress bar `pb` (minimum 0). Values arrive already checked and clamped.
  virtual void SetProgress(int32_t position, int32_t maximum) = 0;
  // Replaces the globe picture `im` by a copy of the error picture `imError`.
  virtual void ShowErrorPicture() = 0;
  // Processes pending window messages until none is left (repaints become visible).
  virtual void ProcessMessages() = 0;
  // Puts plain text on the clipboard; every failure is ignored.
  virtual void CopyToClipboard(const std::string& text) = 0;
  // Shows a message box over the window (flags 0: one OK button) and answers the choice.
  // The default, for views without boxes, writes "caption: text" to standard error and
  // answers 0 at once.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return zip::DefaultZipHost().ShowMessage(text, caption, flags);
  }
  // Restores the window if minimised and brings it to the front.
  virtual void BringToFront() {}
};

}  // namespace klv
