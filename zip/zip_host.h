// ZipHost: what the zip reader needs from the program around it, so that the reader knows
// nothing of windows. The window implements it; the default does without one.
#pragma once

#include <string>

namespace klv::zip {

class ZipHost {
 public:
  virtual ~ZipHost() = default;
  // Lets the window system handle its pending messages; called inside long loops. Default:
  // nothing.
  virtual void ProcessMessages() {}
  // Shows `text` with `caption` to the user (flags 0: one OK button) and answers the user's
  // choice. Default: writes "caption: text" to standard error and answers 0 without waiting.
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned flags);
  // The wait between two rounds of message processing while a pause is requested. Default:
  // sleeps 1000 ms.
  virtual void PauseWait();
};

// The host used when a component is given none.
ZipHost& DefaultZipHost();

}  // namespace klv::zip
