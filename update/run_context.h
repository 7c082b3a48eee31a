// What the phases of an update run may use of the run: its status and log routines, its
// error text, the update folder and the settings read when the window was created.
#pragma once

#include <cstdint>
#include <string>

#include "update/update_folder.h"
#include "zip/zip_host.h"

namespace klv {

struct StartupContext;

class RunContext {
 public:
  virtual ~RunContext() = default;

  // Shows the text in the window's label, logs it and processes pending window messages.
  virtual void ShowStatus(const std::string& text) = 0;
  // Appends one line to the run's log; nothing is shown.
  virtual void AddLog(const std::string& text) = 0;
  // Appends an entry to the run's error text: prefix + message + CR CR.
  virtual void AddError(const std::string& prefix, const std::string& message) = 0;

  // The window's caption (shown under a debugger: the address being fetched).
  virtual void SetCaption(const std::string& text) = 0;
  // Progress of an HTTP transfer in the window's bar; counts are bytes.
  virtual void IdHTTPWorkBegin(int64_t work_count_max) = 0;
  virtual void IdHTTPWork(int64_t work_count) = 0;
  virtual void IdHTTPWorkEnd() = 0;
  virtual void IdHTTPRedirect(const std::string& dest) = 0;

  // Progress of an entry's extraction in the window's bar.
  virtual void UnZipStartUnZip() = 0;
  virtual void UnZipTotalPercentDone(int percent) = 0;
  virtual void UnZipEndUnZip() = 0;
  // What the zip reader needs of the window: message processing and message boxes.
  virtual zip::ZipHost& ZipReaderHost() = 0;

  virtual const UpdateFolder& Folder() const = 0;
  virtual const StartupContext& Startup() const = 0;
  virtual const std::string& ProxyServer() const = 0;
  virtual int32_t ProxyPort() const = 0;
};

}  // namespace klv
