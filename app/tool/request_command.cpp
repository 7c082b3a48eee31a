#include <cstdio>
#include <string>

#include "app/tool/commands.h"
#include "common/locations.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "update/request_body.h"
#include "update/run_context.h"
#include "update/startup_context.h"

namespace klv::tool {

namespace {

constexpr char kUpdaterProgram[] = "klv_upd";

// The updater's surroundings without its window: status and log lines are not needed here.
class SilentRun final : public RunContext {
 public:
  SilentRun() : folder_(UpdateFolderAt(UpdateDirPath())) {
    const Locations locations = ComputeLocations();
    startup_.program_dir = locations.program_dir;
    startup_.settings_file = locations.settings_file;
    // The request names the updater, which lies beside this tool.
    const std::string tool = platform::ProgramFilePath();
    startup_.program_file = tool.substr(0, tool.find_last_of('/') + 1) + kUpdaterProgram;
  }

  void ShowStatus(const std::string&) override {}
  void AddLog(const std::string&) override {}
  void AddError(const std::string&, const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void IdHTTPWorkBegin(int64_t) override {}
  void IdHTTPWork(int64_t) override {}
  void IdHTTPWorkEnd() override {}
  void IdHTTPRedirect(const std::string&) override {}
  void UnZipStartUnZip() override {}
  void UnZipTotalPercentDone(int) override {}
  void UnZipEndUnZip() override {}
  zip::ZipHost& ZipReaderHost() override { return zip::DefaultZipHost(); }
  const UpdateFolder& Folder() const override { return folder_; }
  const StartupContext& Startup() const override { return startup_; }
  const std::string& ProxyServer() const override { return proxy_server_; }
  int32_t ProxyPort() const override { return 0; }

 private:
  UpdateFolder folder_;
  StartupContext startup_;
  std::string proxy_server_;
};

}  // namespace

int RequestCommand(const Arguments& args) {
  if (!args.empty()) {
    std::fputs("usage: klv_tool request\n", stderr);
    return 2;
  }
  SilentRun run;
  DownloadSession session;
  BuildRequestBody(run, session);
  std::fwrite(session.request.data(), 1, session.request.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace klv::tool
