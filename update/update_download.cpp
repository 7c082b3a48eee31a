#include "update/update_download.h"

#include "common/codepage.h"
#include "common/text.h"
#include "update/catalog_reconciliation.h"
#include "update/download_session.h"
#include "update/download_updates.h"
#include "update/request_body.h"
#include "update/run_context.h"
#include "update/server_exchange.h"
#include "update/update_folder.h"

namespace klv {

namespace {

constexpr char kUserAgent[] = "Velmora";
constexpr int kConnectTimeoutMs = 30000;
constexpr int kReadTimeoutMs = 60000;

std::unique_ptr<platform::HttpClient> MakeClient(RunContext& run,
                                                 const HttpClientFactory& make_client) {
  platform::HttpEvents events;
  events.work_begin = [&run](int64_t max) { run.IdHTTPWorkBegin(max); };
  events.work = [&run](int64_t count) { run.IdHTTPWork(count); };
  events.work_end = [&run] { run.IdHTTPWorkEnd(); };
  events.redirect = [&run](const std::string& dest) { run.IdHTTPRedirect(dest); };
  std::unique_ptr<platform::HttpClient> client = make_client(std::move(events));
  platform::HttpSettings& settings = client->Settings();
  settings.user_agent = kUserAgent;
  settings.connect_timeout_ms = kConnectTimeoutMs;
  settings.read_timeout_ms = kReadTimeoutMs;
  settings.proxy_host = run.ProxyServer();
  settings.proxy_port = run.ProxyPort();
  return client;
}

// The answer as the log shows it: decoded, each line followed by CR LF.
std::string AnswerText(const std::string& answer) {
  return JoinLinesCrLf(SplitLines(CodePageToUtf8(answer, CodePage::kAnsi1252)));
}

// The phase after the first status text. False when it ended early.
bool Download(RunContext& run, const ServerAddress& server, const HttpClientFactory& make_client) {
  const UpdateFolder& folder = run.Folder();
  ClearReadOnly(folder.pending_file);
  ClearReadOnly(folder.catalog_file);
  ClearReadOnly(folder.log_file);

  DownloadSession session;
  session.server = server;
  session.http = MakeClient(run, make_client);
  BuildRequestBody(run, session);
  if (!ExchangeWithServer(run, session)) return false;
  run.ShowStatus("Connected...");

  platform::XmlDocument answer;
  answer.Parse(session.response);
  const platform::XmlNode klv = answer.FirstTopLevel("klv");
  if (klv.empty()) {
    run.AddLog("UpdateDownload: ERR=" + AnswerText(session.response));
    return false;
  }
  if (const platform::XmlNode files = klv.FirstChild("files"); !files.empty()) {
    ReconcileCatalog(run, files, session.catalog);
  } else {
    run.AddLog("UpdateDownload: <files>");
  }
  if (const platform::XmlNode updates = klv.FirstChild("updates"); !updates.empty()) {
    if (!DownloadUpdates(run, updates, session)) return false;
  } else {
    run.AddLog("UpdateDownload: <updates>");
  }
  return true;
}

}  // namespace

bool UpdateDownload(RunContext& run, const ServerAddress& server,
                    const HttpClientFactory& make_client) {
  run.ShowStatus("Checking for updates...");
  try {
    if (!Download(run, server, make_client)) return false;
  } catch (const std::exception& error) {
    run.AddLog("UpdateDownload: " + std::string(error.what()));
    return false;
  }
  run.AddLog("UpdateDownload: End");
  return true;
}

}  // namespace klv
