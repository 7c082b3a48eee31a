// A loopback HTTP server for tests: one request per connection, answered by a handler that
// returns the raw answer bytes, so tests control every byte (cut-short bodies included).
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace klv::testing {

struct HttpRequest {
  std::string method;
  std::string target;                          // path and query as sent
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  std::string Header(const std::string& lower_name) const {
    const auto it = headers.find(lower_name);
    return it == headers.end() ? std::string() : it->second;
  }
};

// A complete answer with a Content-Length.
std::string HttpAnswer(int status, const std::string& reason, const std::string& body,
                       const std::string& extra_headers = "");
// A redirect answer.
std::string HttpRedirect(int status, const std::string& location);

class HttpTestServer {
 public:
  using Handler = std::function<std::string(const HttpRequest&)>;

  // Listens on 127.0.0.1 at `port` (0: any free port).
  explicit HttpTestServer(Handler handler, int port = 0);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<HttpRequest> Requests() const;

 private:
  void Serve();
  void Answer(int connection);

  Handler handler_;
  int listener_ = -1;
  int wake_pipe_[2] = {-1, -1};
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<HttpRequest> requests_;
  std::thread thread_;
};

// A loopback port on which nothing listens (connections are refused).
int UnusedPort();

}  // namespace klv::testing
