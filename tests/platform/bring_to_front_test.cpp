// Bring-to-front requests between copies.
#include "platform/bring_to_front.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace klv::platform {
namespace {

constexpr int kArrivalTimeoutMs = 10000;

bool WaitReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, kArrivalTimeoutMs) == 1;
}

TEST(BringToFrontTest, RequestsReachTheListenerOfTheHandle) {
  BringToFrontListener listener;
  ASSERT_GE(listener.fd(), 0);
  EXPECT_EQ(listener.handle(), static_cast<uint32_t>(::getpid()));
  EXPECT_EQ(listener.TakeRequests(), 0);

  RequestBringToFront(listener.handle());
  RequestBringToFront(listener.handle());
  ASSERT_TRUE(WaitReadable(listener.fd()));
  EXPECT_EQ(listener.TakeRequests(), 2);
  EXPECT_EQ(listener.TakeRequests(), 0);
}

TEST(BringToFrontTest, RequestsToHandlesWithoutListenerGoNowhere) {
  BringToFrontListener listener;
  ASSERT_GE(listener.fd(), 0);
  for (const uint32_t handle : {0u, 1u, listener.handle() + 1, 0xFFFFFFFFu}) {
    RequestBringToFront(handle);
  }
  EXPECT_EQ(listener.TakeRequests(), 0);
}

}  // namespace
}  // namespace klv::platform
