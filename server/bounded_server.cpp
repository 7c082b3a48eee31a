#include "server/bounded_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace klv::sus {

namespace {

// A connection is served on one worker thread from start to end, so the handlers' request
// to close it can travel in a thread-local flag.
thread_local bool close_requested = false;

constexpr int kIdleSliceMs = 50;
constexpr size_t kReadBufferBytes = 4096;

// Waits until `sock` has the event or the time is up; a wait cut short by a signal goes on.
bool WaitFor(int sock, short event, int timeout_ms) {
  pollfd entry{sock, event, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeout_ms);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

std::string AddressText(const sockaddr_storage& address, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  }
  return text;
}

using Clock = std::chrono::steady_clock;

// The connection as the library reads and writes it: buffered reads with a time-out, and a
// budget of bytes and of time per request; writes with a time-out that never raise SIGPIPE.
class BudgetStream final : public httplib::Stream {
 public:
  BudgetStream(int sock, int read_timeout_ms, int write_timeout_ms,
               std::chrono::milliseconds request_time)
      : sock_(sock),
        read_timeout_ms_(read_timeout_ms),
        write_timeout_ms_(write_timeout_ms),
        request_time_(request_time) {}

  void StartRequest() {
    budget_ = kRequestReadBudget;
    deadline_ = Clock::now() + request_time_;
  }
  // True once a request wanted to read past its budget or its time: the rest of the
  // connection is then unknown ground.
  bool Exhausted() const { return exhausted_; }
  bool HasBufferedBytes() const { return begin_ < end_; }

  bool is_readable() const override {
    if (HasBufferedBytes()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) return false;
    return WaitFor(sock_, POLLIN, static_cast<int>(std::min<int64_t>(left, read_timeout_ms_)));
  }
  bool is_writable() const override { return WaitFor(sock_, POLLOUT, write_timeout_ms_); }

  ssize_t read(char* ptr, size_t size) override {
    size = std::min(size, budget_);
    if (size == 0) {  // the request has read all it may
      exhausted_ = true;
      return -1;
    }
    if (!HasBufferedBytes()) {
      if (!is_readable()) {
        if (Clock::now() >= deadline_) exhausted_ = true;
        return -1;
      }
      const ssize_t n = Receive();
      if (n <= 0) return n;
    }
    const size_t count = std::min(size, end_ - begin_);
    std::copy(buffer_ + begin_, buffer_ + begin_ + count, ptr);
    begin_ += count;
    budget_ -= count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    for (;;) {
      const ssize_t n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ip = AddressText(address, port);
    }
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ip = AddressText(address, port);
    }
  }
  socket_t socket() const override { return sock_; }

 private:
  ssize_t Receive() {
    for (;;) {
      const ssize_t n = ::recv(sock_, buffer_, sizeof buffer_, 0);
      if (n >= 0 || errno != EINTR) {
        begin_ = 0;
        end_ = n > 0 ? static_cast<size_t>(n) : 0;
        return n;
      }
    }
  }

  int sock_;
  int read_timeout_ms_;
  int write_timeout_ms_;
  std::chrono::milliseconds request_time_;
  size_t budget_ = kRequestReadBudget;
  Clock::time_point deadline_ = Clock::now() + request_time_;
  bool exhausted_ = false;
  char buffer_[kReadBufferBytes];
  size_t begin_ = 0;
  size_t end_ = 0;
};

int Milliseconds(time_t sec, time_t usec) {
  return static_cast<int>(sec * 1000 + usec / 1000);
}

}  // namespace

void CloseConnectionAfterResponse() {
  close_requested = true;
}

// The library's own connection loop, with the bounded stream: up to keep_alive_max_count_
// requests, each after at most keep_alive_timeout_sec_ of silence; the waits are cut into
// slices so that stop() is noticed soon.
bool BoundedServer::process_and_close_socket(socket_t sock) {
  // An answer goes out as headers and then body in separate writes; with Nagle's algorithm
  // the body would wait for the client's delayed acknowledgement (40 ms per request).
  int yes = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  BudgetStream stream(sock, Milliseconds(read_timeout_sec_, read_timeout_usec_),
                      Milliseconds(write_timeout_sec_, write_timeout_usec_), request_time_);
  bool result = false;
  for (size_t left = keep_alive_max_count_; left > 0; --left) {
    const auto idle_end =
        std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
    bool ready = stream.HasBufferedBytes();
    while (!ready && svr_sock_ != INVALID_SOCKET && std::chrono::steady_clock::now() < idle_end) {
      ready = WaitFor(sock, POLLIN, kIdleSliceMs);
    }
    if (!ready || svr_sock_ == INVALID_SOCKET) break;

    stream.StartRequest();
    close_requested = false;
    bool connection_closed = false;
    result = process_request(stream, left == 1, connection_closed, nullptr);
    if (!result || connection_closed || close_requested || stream.Exhausted()) break;
  }
  close_requested = false;
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return result;
}

}  // namespace klv::sus
