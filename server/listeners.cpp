#include "server/listeners.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "server/bounded_server.h"
#include "server/sus_service.h"

namespace klv::sus {

namespace {

constexpr auto kStartWait = std::chrono::seconds(10);
constexpr auto kStartPoll = std::chrono::milliseconds(1);

}  // namespace

Listeners::Listeners(SusService& service, const std::string& address,
                     const std::vector<int>& ports) {
  for (const int port : ports) {
    auto server = std::make_unique<BoundedServer>();
    service.Install(*server);
    // The library's default shares the port with any other socket that asks (SO_REUSEPORT),
    // so a second server on the same port would take part of the requests unnoticed. Only
    // the quick restart over old connections is wanted.
    server->set_socket_options([](socket_t sock) {
      int yes = 1;
      ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    errno = 0;
    const int bound = port == 0 ? server->bind_to_any_port(address)
                                : (server->bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
      const int error = errno;
      throw ListenError("cannot listen on " + address + " port " + std::to_string(port) +
                        (error ? std::string(": ") + std::strerror(error) : std::string()));
    }
    ports_.push_back(bound);
    servers_.push_back(std::move(server));
  }
}

Listeners::~Listeners() {
  Stop();
}

void Listeners::Start(std::function<void()> on_failure) {
  for (auto& server : servers_) {
    threads_.emplace_back([this, raw = server.get(), on_failure] {
      raw->listen_after_bind();
      ++finished_;
      if (!stopping_ && on_failure) on_failure();
    });
  }
  // stop() only reaches a server that has begun accepting, so wait for each to begin.
  const auto deadline = std::chrono::steady_clock::now() + kStartWait;
  for (auto& server : servers_) {
    while (!server->is_running()) {
      if (std::chrono::steady_clock::now() > deadline) {
        throw ListenError("a listener did not start accepting connections");
      }
      std::this_thread::sleep_for(kStartPoll);
    }
  }
}

void Listeners::Stop() {
  stopping_ = true;
  // stop() reaches only a server that accepts already; one still starting is asked again
  // until every thread has left its accepting loop.
  while (finished_ < threads_.size()) {
    for (auto& server : servers_) server->stop();
    if (finished_ < threads_.size()) std::this_thread::sleep_for(kStartPoll);
  }
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
}

}  // namespace klv::sus
