// An HTTP server whose connections cannot make it read without bound: each request may make
// it read at most kRequestReadBudget bytes (request line, headers and body together), so no
// line or body the library collects can grow past that, and must have arrived within a time
// limit, so a client that trickles bytes cannot hold a worker thread for ever; and a handler
// can ask for the connection to end after its response, so that an unread body is never
// taken for the next request.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace klv::sus {

inline constexpr size_t kRequestReadBudget = 4u << 20;
inline constexpr std::chrono::milliseconds kRequestReadTime = std::chrono::seconds(60);

class BoundedServer : public httplib::Server {
 public:
  // `request_time`: how long one request may take to arrive, from its first byte.
  explicit BoundedServer(std::chrono::milliseconds request_time = kRequestReadTime)
      : request_time_(request_time) {}

 private:
  bool process_and_close_socket(socket_t sock) override;
  std::chrono::milliseconds request_time_;
};

// Called from a handler of a BoundedServer: ends the connection once the current response
// has been written.
void CloseConnectionAfterResponse();

}  // namespace klv::sus
