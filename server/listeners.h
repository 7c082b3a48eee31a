// The service on several ports of one address (the updater tries port 85, then 80): one
// HTTP server with its own accepting thread per port.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace klv::sus {

class SusService;

class ListenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Listeners {
 public:
  // Binds every port of `ports` on `address`; port 0 takes a free port. Connections are
  // queued from here on. Throws ListenError naming the address and port that failed.
  Listeners(SusService& service, const std::string& address, const std::vector<int>& ports);
  // Stops and joins.
  ~Listeners();
  Listeners(const Listeners&) = delete;
  Listeners& operator=(const Listeners&) = delete;

  // The bound ports, in the order given.
  const std::vector<int>& ports() const { return ports_; }

  // Starts accepting on every port and returns once each one accepts. `on_failure` runs (on
  // a listener's thread) if a listener stops by itself before Stop(). Throws ListenError
  // when a listener does not come up.
  void Start(std::function<void()> on_failure = nullptr);
  // Stops accepting, finishes the requests in progress and joins the threads.
  void Stop();

 private:
  std::vector<std::unique_ptr<httplib::Server>> servers_;
  std::vector<int> ports_;
  std::vector<std::thread> threads_;
  std::atomic<bool> stopping_{false};
  std::atomic<size_t> finished_{0};  // threads that have left their accepting loop
};

}  // namespace klv::sus
