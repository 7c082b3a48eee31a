// An HTTP server whose connections cannot make it read without bound: each request may make
// it read at most kRequestReadBudget bytes (request line, headers and body together), so no
// line or body the library collects can grow past that; and a handler can ask for the
// connection to end after its response, so that an unread body is never taken for the next
// request.
#pragma once

#include <httplib.h>

#include <cstddef>

namespace klv::sus {

inline constexpr size_t kRequestReadBudget = 4u << 20;

class BoundedServer : public httplib::Server {
 private:
  bool process_and_close_socket(socket_t sock) override;
};

// Called from a handler of a BoundedServer: ends the connection once the current response
// has been written.
void CloseConnectionAfterResponse();

}  // namespace klv::sus
