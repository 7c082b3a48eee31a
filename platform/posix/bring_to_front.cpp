// Requests travel as one datagram to a Unix socket in the abstract namespace, named after the
// receiving process id. An abstract name disappears with its socket, so a stale or made-up
// process id reaches nobody, and no other process can be harmed by a request (unlike a signal
// to a recycled process id).
#include "platform/bring_to_front.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace klv::platform {

namespace {

constexpr char kNamePrefix[] = "klv_upd.bring-to-front.";
constexpr char kRequest[] = "front";
// Requests beyond this many in one go are left for the next call.
constexpr int kMaxRequestsPerCall = 64;

// The abstract address for `handle` and the length to pass to bind/sendto.
socklen_t AddressFor(uint32_t handle, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string name = kNamePrefix + std::to_string(handle);
  // sun_path[0] stays NUL: the abstract namespace.
  name.copy(address.sun_path + 1, sizeof address.sun_path - 2);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

}  // namespace

BringToFrontListener::BringToFrontListener()
    : handle_(static_cast<uint32_t>(::getpid())),
      fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
  if (fd_ < 0) return;
  sockaddr_un address;
  const socklen_t length = AddressFor(handle_, address);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

BringToFrontListener::~BringToFrontListener() {
  if (fd_ >= 0) ::close(fd_);
}

int BringToFrontListener::TakeRequests() {
  if (fd_ < 0) return 0;
  int count = 0;
  char buffer[sizeof kRequest];
  while (count < kMaxRequestsPerCall) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    ++count;
  }
  return count;
}

void RequestBringToFront(uint32_t window_handle) {
  if (window_handle == 0) return;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_un address;
  const socklen_t length = AddressFor(window_handle, address);
  // MSG_DONTWAIT: a listener whose queue is full has requests pending already.
  ::sendto(fd, kRequest, sizeof kRequest - 1, MSG_DONTWAIT,
           reinterpret_cast<const sockaddr*>(&address), length);
  ::close(fd);
}

}  // namespace klv::platform
