// The HTTP client the engine uses: posts from memory, fetches into a sink as the bytes
// arrive, follows redirects itself and raises its events on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace klv::platform {

// A failed connection, a time-out, an error status or a transfer cut short. For an error
// status the message is the status line, for example "HTTP/1.1 404 Not Found".
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Transfer events. Counts are bytes; a maximum of 0 means the size is not known.
struct HttpEvents {
  std::function<void(int64_t work_count_max)> work_begin;
  std::function<void(int64_t work_count)> work;
  std::function<void()> work_end;
  std::function<void(const std::string& dest)> redirect;
};

// Receives a fetched body as it arrives.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // Throws to abort the transfer.
  virtual void Write(const char* data, size_t size) = 0;
};

struct HttpSettings {
  std::string user_agent;    // empty: none is sent
  std::string content_type;  // for posts; empty: the client's default
  int connect_timeout_ms = 30000;
  int read_timeout_ms = 60000;  // longest wait for data
  std::string proxy_host;       // empty: no proxy
  int proxy_port = 0;
  int max_redirects = 15;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  virtual HttpSettings& Settings() = 0;
  // Back to the client's default request headers: no user agent, no content type.
  virtual void ResetRequestHeaders() = 0;
  // Posts `body` and answers the answer's body. An answer longer than `max_answer` bytes
  // is an error.
  virtual std::string Post(const std::string& url, std::string_view body, size_t max_answer) = 0;
  // Fetches `url` into `sink`; only the final answer's body reaches it.
  virtual void Get(const std::string& url, DownloadSink& sink) = 0;
};

std::unique_ptr<HttpClient> CreateHttpClient(HttpEvents events);

}  // namespace klv::platform
