// TfrmUpdate: the update window's engine side. It owns the run's log and error text, drives
// one update run through its two phases and feeds the window's label, picture and bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "update/progress_bar.h"
#include "update/run_context.h"
#include "update/startup_context.h"
#include "update/update_folder.h"
#include "update/update_view.h"

namespace klv {

// Waits of the run: after the window is shown, after the phases, while an error shows.
inline constexpr std::chrono::milliseconds kShowWait{500};
inline constexpr std::chrono::milliseconds kFinishWait{500};
inline constexpr std::chrono::milliseconds kErrorWait{5000};

// Starts a program with one parameter in a working folder, without waiting.
using ProgramStarter = std::function<void(const std::string& program, const std::string& parameter,
                                          const std::string& folder)>;

class TfrmUpdate : public RunContext {
  // The zip reader's view of the window: it pumps messages and shows boxes through it.
  class WindowZipHost final : public zip::ZipHost {
   public:
    explicit WindowZipHost(UpdateView& view) : view_(view) {}
    void ProcessMessages() override { view_.ProcessMessages(); }
    int ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override {
      return view_.ShowMessageBox(text, caption, flags);
    }

   private:
    UpdateView& view_;
  };

 public:
  // The phases of a run; the defaults are the real download and apply phases.
  struct Phases {
    std::function<void(RunContext&)> update_download;
    std::function<void(RunContext&)> update_local;
  };

  // Window creation: forms and creates the update folder, reads the proxy settings.
  TfrmUpdate(UpdateView& view, platform::Clock& clock, StartupContext startup,
             ProgramStarter start_program, Phases phases);
  TfrmUpdate(UpdateView& view, platform::Clock& clock, StartupContext startup);

  enum class RunEnd { kReturned, kMainProgramRestarted };
  // The run. kMainProgramRestarted means the process must end now with exit code 0.
  RunEnd UpdateRun();

  // RunContext
  void ShowStatus(const std::string& text) override;
  void AddLog(const std::string& text) override;
  void AddError(const std::string& prefix, const std::string& message) override;
  void SetCaption(const std::string& text) override { view_.SetCaption(text); }
  const UpdateFolder& Folder() const override { return folder_; }
  const StartupContext& Startup() const override { return startup_; }
  const std::string& ProxyServer() const override { return proxy_server_; }
  int32_t ProxyPort() const override { return proxy_port_; }

  const std::vector<std::string>& LogLines() const { return log_lines_; }
  const std::string& ErrorText() const { return error_text_; }
  const ProgressBar& Progress() const { return pb_; }

  // Progress of an HTTP transfer. Counts are 64-bit; the bar takes their low 32 bits.
  void IdHTTPWorkBegin(int64_t work_count_max) override;
  void IdHTTPWork(int64_t work_count) override;
  void IdHTTPWorkEnd() override;
  // Under a debugger the caption shows the address being fetched.
  void IdHTTPRedirect(const std::string& dest) override;
  // Progress of an entry's extraction.
  void UnZipStartUnZip() override;
  void UnZipTotalPercentDone(int percent) override;
  void UnZipEndUnZip() override;
  zip::ZipHost& ZipReaderHost() override { return zip_host_; }

 private:
  void ShowProgress();

  UpdateView& view_;
  platform::Clock& clock_;
  StartupContext startup_;
  ProgramStarter start_program_;
  Phases phases_;
  UpdateFolder folder_;
  std::string proxy_server_;
  int32_t proxy_port_ = 0;
  std::vector<std::string> log_lines_;
  std::string error_text_;
  ProgressBar pb_;
  WindowZipHost zip_host_{view_};
};

}  // namespace klv
