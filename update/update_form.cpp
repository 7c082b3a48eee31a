#include "update/update_form.h"

#include "common/ini_file.h"
#include "common/locations.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "update/update_download.h"
#include "update/update_local.h"

namespace klv {

namespace {

constexpr char kProxySection[] = "Proxy";
constexpr char kProxyServerKey[] = "Server";
constexpr char kProxyPortKey[] = "Port";
constexpr char kRestartParameter[] = "/restart";

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace

TfrmUpdate::TfrmUpdate(UpdateView& view, platform::Clock& clock, StartupContext startup)
    : TfrmUpdate(view, clock, std::move(startup), platform::StartProgramDetached,
                 Phases{[](RunContext& run) { UpdateDownload(run); }, UpdateLocal}) {}

TfrmUpdate::TfrmUpdate(UpdateView& view, platform::Clock& clock, StartupContext startup,
                       ProgramStarter start_program, Phases phases)
    : view_(view),
      clock_(clock),
      startup_(std::move(startup)),
      start_program_(std::move(start_program)),
      phases_(std::move(phases)),
      folder_(MakeUpdateFolder()) {
  const IniFile settings(startup_.settings_file);
  proxy_server_ = settings.ReadString(kProxySection, kProxyServerKey, "");
  proxy_port_ = settings.ReadInteger(kProxySection, kProxyPortKey, 0);
  ShowProgress();
}

TfrmUpdate::RunEnd TfrmUpdate::UpdateRun() {
  error_text_.clear();
  // The program has no other windows, so disabling the task windows leaves nothing to
  // re-enable; the activation pair still frames the run.
  try {
    view_.Show();
    view_.Activate();
    clock_.Sleep(kShowWait);
    if (phases_.update_download) phases_.update_download(*this);
    if (phases_.update_local) phases_.update_local(*this);
    clock_.Sleep(kFinishWait);
    if (!IsBlank(error_text_)) {
      view_.ShowErrorPicture();
      ShowStatus(error_text_);
      clock_.Sleep(kErrorWait);
    }
  } catch (...) {
    view_.Deactivate();
    throw;
  }
  view_.Deactivate();

  if (startup_.debugger_present) view_.CopyToClipboard(Join(log_lines_));

  const std::string main_program = startup_.program_dir + kMainProgramName;
  if (startup_.update_switch && platform::FileExists(main_program)) {
    start_program_(main_program, kRestartParameter, startup_.program_dir);
    return RunEnd::kMainProgramRestarted;
  }
  return RunEnd::kReturned;
}

void TfrmUpdate::ShowStatus(const std::string& text) {
  view_.SetStatusText(text);
  AddLog(text);
  view_.ProcessMessages();
}

void TfrmUpdate::AddLog(const std::string& text) {
  log_lines_.push_back(text);
}

void TfrmUpdate::AddError(const std::string& prefix, const std::string& message) {
  error_text_ += prefix + message + "\r\r";
}

void TfrmUpdate::ShowProgress() {
  view_.SetProgress(pb_.position(), pb_.maximum());
}

void TfrmUpdate::IdHTTPWorkBegin(int64_t work_count_max) {
  pb_.SetMaximum(static_cast<int32_t>(static_cast<uint32_t>(work_count_max)));
  ShowProgress();
}

void TfrmUpdate::IdHTTPWork(int64_t work_count) {
  pb_.SetPosition(static_cast<int32_t>(static_cast<uint32_t>(work_count)));
  ShowProgress();
}

void TfrmUpdate::IdHTTPWorkEnd() {
  pb_.SetPosition(pb_.maximum());
  ShowProgress();
}

void TfrmUpdate::IdHTTPRedirect(const std::string& dest) {
  if (startup_.debugger_present) view_.SetCaption(dest);
}

void TfrmUpdate::UnZipStartUnZip() {
  pb_.SetPosition(0);
  pb_.SetMaximum(100);
  ShowProgress();
}

void TfrmUpdate::UnZipTotalPercentDone(int percent) {
  pb_.SetPosition(percent);
  ShowProgress();
}

void TfrmUpdate::UnZipEndUnZip() {
  pb_.SetPosition(pb_.maximum());
  ShowProgress();
}

}  // namespace klv
