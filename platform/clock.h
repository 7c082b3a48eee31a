// The waits of the update run go through a clock so that tests can replace them.
#pragma once

#include <chrono>

namespace klv::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Blocks the calling thread; no window messages are processed meanwhile.
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
  virtual std::chrono::steady_clock::time_point Now() = 0;
};

class SystemClock final : public Clock {
 public:
  void Sleep(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::time_point Now() override;
};

}  // namespace klv::platform
