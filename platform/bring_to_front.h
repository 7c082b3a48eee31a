// How a refused copy asks the running copy to bring its window to the front. On POSIX the
// "window handle" that the single-instance record keeps is the process id of the copy, whose
// listener receives the request; its window's message pump then raises the window.
#pragma once

#include <cstdint>

namespace klv::platform {

// The application's receiver of bring-to-front requests, standing in for the hidden
// application window that exists before any form. Created before the single-instance check.
class BringToFrontListener {
 public:
  // Starts listening for this process. When that fails (the name is taken), requests are
  // simply never received; handle() still answers.
  BringToFrontListener();
  ~BringToFrontListener();
  BringToFrontListener(const BringToFrontListener&) = delete;
  BringToFrontListener& operator=(const BringToFrontListener&) = delete;

  // What the single-instance record stores for this copy's window.
  uint32_t handle() const { return handle_; }
  // A descriptor that becomes readable when requests are pending; -1 when not listening.
  int fd() const { return fd_; }
  // Consumes every pending request without waiting; answers how many there were.
  int TakeRequests();

 private:
  uint32_t handle_;
  int fd_;
};

// Asks the copy whose listener has `window_handle` to bring its window to the front. Does not
// wait; has no effect when no such copy listens (the value came from a shared record and may
// be stale or made up).
void RequestBringToFront(uint32_t window_handle);

}  // namespace klv::platform
