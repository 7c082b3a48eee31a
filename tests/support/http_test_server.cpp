#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace klv::testing {

namespace {

constexpr size_t kMaxRequestBytes = 64 * 1024 * 1024;

int Listen(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 64) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on port " + std::to_string(port));
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

// Reads one request; false when the peer closed before a whole one arrived.
bool ReadRequest(int fd, HttpRequest& request) {
  std::string data;
  char buffer[65536];
  size_t head_end = std::string::npos;
  while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0 || data.size() > kMaxRequestBytes) return false;
    data.append(buffer, static_cast<size_t>(n));
  }
  const std::string head = data.substr(0, head_end);
  size_t line_end = head.find("\r\n");
  const std::string request_line = head.substr(0, line_end);
  const auto space1 = request_line.find(' ');
  const auto space2 = request_line.find(' ', space1 + 1);
  request.method = request_line.substr(0, space1);
  request.target = request_line.substr(space1 + 1, space2 - space1 - 1);
  while (line_end != std::string::npos && line_end < head.size()) {
    const size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string line =
        head.substr(start, line_end == std::string::npos ? std::string::npos : line_end - start);
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    request.headers[Lower(line.substr(0, colon))] = value;
  }
  const size_t length =
      std::stoul(request.Header("content-length").empty() ? "0" : request.Header("content-length"));
  request.body = data.substr(head_end + 4);
  while (request.body.size() < length) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    request.body.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string HttpAnswer(int status, const std::string& reason, const std::string& body,
                       const std::string& extra_headers) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
         extra_headers + "\r\n" + body;
}

std::string HttpRedirect(int status, const std::string& location) {
  return HttpAnswer(status, "Found", "moved", "Location: " + location + "\r\n");
}

HttpTestServer::HttpTestServer(Handler handler, int port)
    : handler_(std::move(handler)), listener_(Listen(port)), port_(BoundPort(listener_)) {
  if (::pipe2(wake_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
  const char stop = 's';
  [[maybe_unused]] const ssize_t n = ::write(wake_pipe_[1], &stop, 1);
  thread_.join();
  ::close(listener_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void HttpTestServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Answer(connection);
    ::close(connection);
  }
}

void HttpTestServer::Answer(int connection) {
  HttpRequest request;
  if (!ReadRequest(connection, request)) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  SendAll(connection, handler_(request));
  ::shutdown(connection, SHUT_WR);
}

int UnusedPort() {
  const int fd = Listen(0);
  const int port = BoundPort(fd);
  ::close(fd);
  return port;
}

}  // namespace klv::testing
