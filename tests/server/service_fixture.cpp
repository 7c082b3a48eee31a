#include "tests/server/service_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace klv::sus::testing {

namespace {

// A socket descriptor, closed on scope exit.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string RequestBody(const std::string& computer) {
  return "<klv source=\"KLV_UPD\" computer=\"" + computer +
         "\" domain=\"SURGERY\"><files><file name=\"KLV.EXE\" version=\"0.0.0.0\"/></files>"
         "</klv>\r\n";
}

int StatusOf(const std::string& response) {
  // "HTTP/1.1 200 OK"
  if (response.compare(0, 5, "HTTP/") != 0) return 0;
  const size_t space = response.find(' ');
  if (space == std::string::npos || space + 4 > response.size()) return 0;
  return std::stoi(response.substr(space + 1, 3));
}

std::string BodyOf(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string Exchange(int port, const std::string& request, int timeout_ms) {
  Socket sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  // The server may refuse before it has read everything; what it answered still counts.
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n =
        ::send(sock.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string response;
  char buffer[65536];
  pollfd entry{sock.get(), POLLIN, 0};
  while (::poll(&entry, 1, timeout_ms) > 0) {
    const ssize_t n = ::recv(sock.get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    response.append(buffer, static_cast<size_t>(n));
  }
  return response;
}

std::string GetRequest(const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
}

std::string PostRequest(const std::string& body) {
  return "POST /sus HTTP/1.1\r\nHost: localhost\r\nUser-Agent: Velmora\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

RunningService::RunningService(const std::string& manifest,
                               const std::vector<std::pair<std::string, std::string>>& archives) {
  const std::string folder = dir_.path() + "served/";
  dir_.Write("served/manifest.tsv", manifest);
  for (const auto& [name, content] : archives) dir_.Write("served/" + name, content);
  store_ = std::make_unique<DeliveryStore>(folder + "sus.db");
  service_ = std::make_unique<SusService>(
      ServiceSettings{folder, "http://localhost", LoadManifest(folder + "manifest.tsv", folder)},
      *store_, [this](const std::string& line) {
        const std::lock_guard lock(log_mutex_);
        log_.push_back(line);
      });
  listeners_ = std::make_unique<Listeners>(*service_, "127.0.0.1", std::vector<int>{0});
  listeners_->Start();
}

RunningService::~RunningService() {
  listeners_->Stop();
}

std::vector<std::string> RunningService::LogLines(size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    {
      const std::lock_guard lock(log_mutex_);
      if (log_.size() >= count || std::chrono::steady_clock::now() > deadline) return log_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace klv::sus::testing
