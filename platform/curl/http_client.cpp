// The HTTP client on libcurl. Redirects are followed here rather than by libcurl, so that the
// redirect event is raised for each one and only the final answer's body is delivered.
#include "platform/http_client.h"

#include <curl/curl.h>

#include <exception>
#include <mutex>
#include <optional>
#include <vector>

namespace klv::platform {

namespace {

constexpr long kBufferSize = 256 * 1024;

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

HeaderList AppendHeader(HeaderList list, const std::string& header) {
  curl_slist* grown = curl_slist_append(list.get(), header.c_str());
  if (grown == nullptr) throw HttpError("Out of memory for request headers");
  list.release();
  return HeaderList(grown);
}

// Collects the answer's body in memory, up to a limit.
class MemorySink final : public DownloadSink {
 public:
  explicit MemorySink(size_t limit) : limit_(limit) {}
  void Write(const char* data, size_t size) override {
    if (size > limit_ - body_.size()) {
      throw HttpError("The answer is larger than " + std::to_string(limit_) + " bytes");
    }
    body_.append(data, size);
  }
  std::string Take() { return std::move(body_); }

 private:
  size_t limit_;
  std::string body_;
};

// State of one request/answer exchange, shared with libcurl's callbacks.
struct Exchange {
  CURL* handle = nullptr;
  const HttpEvents* events = nullptr;
  DownloadSink* sink = nullptr;
  std::string status_line;
  bool deliver_body = false;  // the answer is the final one, with a success status
  int64_t received = 0;
  std::exception_ptr error;
  std::function<void()> on_first_header;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const size_t length = size * count;
  try {
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
      if (exchange.on_first_header) {
        exchange.on_first_header();
        exchange.on_first_header = nullptr;
      }
      exchange.status_line = line;
    } else if (line.empty()) {
      long code = 0;
      curl_easy_getinfo(exchange.handle, CURLINFO_RESPONSE_CODE, &code);
      if (code >= 200 && code < 300) {
        exchange.deliver_body = true;
        curl_off_t length_hint = -1;
        curl_easy_getinfo(exchange.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length_hint);
        if (exchange.events->work_begin)
          exchange.events->work_begin(length_hint > 0 ? length_hint : 0);
      }
    }
  } catch (...) {
    exchange.error = std::current_exception();
    return 0;
  }
  return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const size_t length = size * count;
  if (!exchange.deliver_body) return length;  // the body of a redirect or an error status
  try {
    exchange.sink->Write(data, length);
    exchange.received += static_cast<int64_t>(length);
    if (exchange.events->work) exchange.events->work(exchange.received);
  } catch (...) {
    exchange.error = std::current_exception();
    return 0;
  }
  return length;
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(HttpEvents events) : events_(std::move(events)) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    handle_.reset(curl_easy_init());
    if (!handle_) throw HttpError("The HTTP client cannot be created");
  }

  HttpSettings& Settings() override { return settings_; }

  void ResetRequestHeaders() override {
    settings_.user_agent.clear();
    settings_.content_type.clear();
  }

  std::string Post(const std::string& url, std::string_view body, size_t max_answer) override {
    MemorySink sink(max_answer);
    Transfer(url, body, sink);
    return sink.Take();
  }

  void Get(const std::string& url, DownloadSink& sink) override {
    Transfer(url, std::nullopt, sink);
  }

 private:
  void Transfer(std::string url, std::optional<std::string_view> post_body, DownloadSink& sink) {
    for (int redirects = 0;; ++redirects) {
      Exchange exchange;
      exchange.handle = handle_.get();
      exchange.events = &events_;
      exchange.sink = &sink;
      if (post_body) {
        // The request body goes out before the answer's first line comes back.
        const auto size = static_cast<int64_t>(post_body->size());
        if (events_.work_begin) events_.work_begin(size);
        exchange.on_first_header = [this, size] {
          if (events_.work) events_.work(size);
          if (events_.work_end) events_.work_end();
        };
      }
      const long code = Perform(url, post_body, exchange);
      char* location = nullptr;
      curl_easy_getinfo(handle_.get(), CURLINFO_REDIRECT_URL, &location);
      if (code >= 300 && code < 400 && location != nullptr) {
        if (redirects >= settings_.max_redirects) {
          throw HttpError("Maximum number of redirects exceeded (" +
                          std::to_string(settings_.max_redirects) + ")");
        }
        const std::string dest = location;
        if (events_.redirect) events_.redirect(dest);
        // 301, 302 and 303 turn a post into a fetch, as browsers do; 307 and 308 keep it.
        if (code == 301 || code == 302 || code == 303) post_body.reset();
        url = dest;
        continue;
      }
      if (code < 200 || code >= 300) {
        throw HttpError(exchange.status_line.empty() ? "HTTP status " + std::to_string(code)
                                                     : exchange.status_line);
      }
      if (events_.work_end) events_.work_end();
      return;
    }
  }

  // Runs one exchange and answers the status code; failures of the transfer raise HttpError.
  long Perform(const std::string& url, std::optional<std::string_view> post_body,
               Exchange& exchange) {
    CURL* h = handle_.get();
    curl_easy_reset(h);
    char error_text[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings_.connect_timeout_ms));
    // No byte for the read time-out: the transfer is given up.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>((settings_.read_timeout_ms + 999) / 1000));
    curl_easy_setopt(h, CURLOPT_PROXY, settings_.proxy_host.c_str());
    if (!settings_.proxy_host.empty() && settings_.proxy_port > 0) {
      curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(settings_.proxy_port));
    }
    if (!settings_.user_agent.empty()) {
      curl_easy_setopt(h, CURLOPT_USERAGENT, settings_.user_agent.c_str());
    }
    HeaderList headers(curl_slist_append(nullptr, "Expect:"));
    if (post_body) {
      curl_easy_setopt(h, CURLOPT_POST, 1L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, post_body->data());
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post_body->size()));
      if (!settings_.content_type.empty()) {
        headers = AppendHeader(std::move(headers), "Content-Type: " + settings_.content_type);
      }
    } else {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);

    const CURLcode result = curl_easy_perform(h);
    if (exchange.error) std::rethrow_exception(exchange.error);
    if (result != CURLE_OK) {
      throw HttpError(error_text[0] != '\0' ? error_text : curl_easy_strerror(result));
    }
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    return code;
  }

  HttpEvents events_;
  HttpSettings settings_;
  CurlHandle handle_;
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient(HttpEvents events) {
  return std::make_unique<CurlHttpClient>(std::move(events));
}

}  // namespace klv::platform
