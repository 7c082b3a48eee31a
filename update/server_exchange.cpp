#include "update/server_exchange.h"

#include "common/ini_file.h"
#include "update/run_context.h"
#include "update/startup_context.h"

namespace klv {

namespace {

constexpr char kFormContentType[] = "application/x-www-form-urlencoded";
constexpr char kPortSection[] = "Velmora";
constexpr char kPort85Key[] = "Port85";

}  // namespace

bool PostRequest(RunContext& run, DownloadSession& session, int port) {
  session.server_port = port;
  run.ShowStatus("Connecting to update server (" + std::to_string(port) + ")...");
  bool result = false;
  try {
    session.response.clear();
    session.http->Settings().content_type = kFormContentType;
    const std::string address = session.server.base_url + ":" + std::to_string(port) + "/sus";
    session.response = session.http->Post(address, session.request, kMaxAnswerSize);
    result = true;
    if (port == session.server.first_port) {
      IniFile settings(run.Startup().settings_file);
      if (!settings.ValueExists(kPortSection, kPort85Key)) {
        settings.WriteBool(kPortSection, kPort85Key, true);
      }
    }
  } catch (const std::exception& error) {
    run.AddError("Connection failed: ", error.what());
  }
  return result;
}

bool ExchangeWithServer(RunContext& run, DownloadSession& session) {
  if (PostRequest(run, session, session.server.first_port)) return true;
  if (IniFile(run.Startup().settings_file).ReadBool(kPortSection, kPort85Key, false)) return false;
  return PostRequest(run, session, session.server.second_port);
}

}  // namespace klv
