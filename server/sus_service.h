// The update service over HTTP: POST /sus answers the updater's request document, GET
// /update/<n>/sus/<archive base name> streams a published archive. Request bodies are
// bounded (kMaxRequestBytes) and one line per request goes to the log.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "server/manifest.h"

namespace httplib {
class ContentReader;
class Server;
struct Response;
}  // namespace httplib

namespace klv::sus {

class DeliveryStore;

inline constexpr size_t kMaxRequestBytes = 1024 * 1024;

struct ServiceSettings {
  std::string folder;    // the served folder, ending with '/'
  std::string base_url;  // the updater's built-in base address, e.g. http://localhost
  std::vector<ManifestEntry> manifest;
};

// Receives each log line, without a line end. Called from the server's worker threads.
using LogSink = std::function<void(const std::string& line)>;

class SusService {
 public:
  // `store` is not owned and must outlive the service.
  SusService(ServiceSettings settings, DeliveryStore& store, LogSink log);

  // Installs the routes, the body limit, the error handling and the request log on `server`.
  // The service must outlive the server.
  void Install(httplib::Server& server);

  // The answer document for a request body; records what it offers. Throws RequestError
  // for a body that is no request, StoreError when the database fails.
  std::string Answer(std::string_view body);

 private:
  // POST /sus: reads the body (at most kMaxRequestBytes) and answers it.
  void AnswerPost(httplib::Response& res, const httplib::ContentReader& read);
  // GET /update/<n>/sus/<base_name>: streams the published archive of that base name.
  void ServeArchive(const std::string& base_name, httplib::Response& res);

  ServiceSettings settings_;
  DeliveryStore& store_;
  LogSink log_;
  std::map<std::string, std::string> archives_;  // archive base name -> archive file name
};

// `text` with every byte outside printable ASCII written as %XX, so that a request path
// cannot break or forge a log line.
std::string EscapeForLog(std::string_view text);

}  // namespace klv::sus
