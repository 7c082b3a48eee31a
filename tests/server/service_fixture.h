// A running update service for tests: a temporary served folder with a manifest and
// archives made by code, the database beside it, and the service listening on a free
// loopback port; plus raw HTTP exchanges, so tests control every byte they send.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/delivery_store.h"
#include "server/listeners.h"
#include "server/manifest.h"
#include "server/sus_service.h"
#include "tests/support/temp_dir.h"

namespace klv::sus::testing {

// A request document as the updater sends it (Windows-1252 text, CR LF at the end).
std::string RequestBody(const std::string& computer);

// The status code of a raw HTTP response, or 0 when there is none.
int StatusOf(const std::string& response);
// The body of a raw HTTP response (after the blank line).
std::string BodyOf(const std::string& response);

// Sends `request` to 127.0.0.1:`port` and answers every byte received until the server
// closes the connection or `timeout_ms` pass without data.
std::string Exchange(int port, const std::string& request, int timeout_ms = 5000);

// A GET request line and headers for `path`, closing the connection after the answer.
std::string GetRequest(const std::string& path);
// A POST /sus request with `body` and its Content-Length.
std::string PostRequest(const std::string& body);

class RunningService {
 public:
  // `manifest` is the manifest text; each archive it names must be given in `archives`
  // (file name, content).
  RunningService(const std::string& manifest,
                 const std::vector<std::pair<std::string, std::string>>& archives);
  ~RunningService();

  int port() const { return listeners_->ports().front(); }
  const klv::testing::TempDir& dir() const { return dir_; }
  DeliveryStore& store() { return *store_; }
  // The log lines so far, once there are at least `count` (the log line of a request is
  // written after its response, so a test waits for it; bounded polling).
  std::vector<std::string> LogLines(size_t count);

 private:
  klv::testing::TempDir dir_;
  std::unique_ptr<DeliveryStore> store_;
  std::unique_ptr<SusService> service_;
  std::unique_ptr<Listeners> listeners_;
  std::mutex log_mutex_;
  std::vector<std::string> log_;
};

}  // namespace klv::sus::testing
