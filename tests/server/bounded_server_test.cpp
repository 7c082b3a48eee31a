// The bounded connection loop on its own: a client that trickles a request is cut off, and
// ordinary keep-alive requests still work.
#include "server/bounded_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace klv::sus {
namespace {

class BoundedServerTest : public ::testing::Test {
 protected:
  BoundedServerTest() : server_(std::chrono::milliseconds(300)) {
    server_.Get("/ping", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("pong", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~BoundedServerTest() override {
    server_.stop();
    thread_.join();
  }

  int Connect() {
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return sock;
  }

  BoundedServer server_;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(BoundedServerTest, KeepAliveRequestsAreAnswered) {
  httplib::Client client("127.0.0.1", port_);
  client.set_keep_alive(true);
  for (int i = 0; i < 3; ++i) {
    const auto result = client.Get("/ping");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body, "pong");
  }
}

TEST_F(BoundedServerTest, ARequestThatTricklesInIsCutOff) {
  const int sock = Connect();
  const std::string start = "GET /ping HTTP/1.1\r\n";
  ASSERT_EQ(::send(sock, start.data(), start.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(start.size()));
  // One header byte every 20 ms would keep a plain read time-out waiting for ever; the
  // request's time limit ends the connection. Bounded at 10 s.
  bool closed = false;
  std::string received;
  for (int i = 0; i < 500 && !closed; ++i) {
    if (::send(sock, "X", 1, MSG_NOSIGNAL) != 1) closed = true;
    pollfd entry{sock, POLLIN, 0};
    if (::poll(&entry, 1, 20) > 0) {
      char buffer[256];
      const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
      if (n <= 0) closed = true;
      if (n > 0) received.append(buffer, static_cast<size_t>(n));
    }
  }
  ::close(sock);
  EXPECT_TRUE(closed);
  EXPECT_EQ(received.find("pong"), std::string::npos) << received;
}

}  // namespace
}  // namespace klv::sus
