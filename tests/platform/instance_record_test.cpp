// The shared single-instance record: creation, sharing, lifetime with its holders (also
// killed ones), long names and the guard against simultaneous starts.
#include "platform/instance_record.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace klv::platform {
namespace {

constexpr char kShmFolder[] = "/dev/shm";

// A mapping name of its own for every test, so parallel test runs never meet.
std::string UniqueName(const std::string& test) {
  return "klv-record-test-" + std::to_string(::getpid()) + "-" + test;
}

bool NameExists(const std::string& mapping_name) {
  return ::access((kShmFolder + SharedMemoryName(mapping_name)).c_str(), F_OK) == 0;
}

// A pipe whose ends close with the object.
struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (fds[0] >= 0) ::close(std::exchange(fds[0], -1));
  }
  void CloseWrite() {
    if (fds[1] >= 0) ::close(std::exchange(fds[1], -1));
  }
  int fds[2] = {-1, -1};
};

// Registers as the program's start does: first copy writes itself with count 1, later
// copies add one. Answers the count it wrote.
int32_t Register(InstanceRecord& record, bool created, uint32_t handle) {
  InstanceInfo info = created ? InstanceInfo{} : record.Read();
  info.window_handle = handle;
  info.instance_count = created ? 1 : info.instance_count + 1;
  record.Write(info);
  return info.instance_count;
}

TEST(InstanceRecordTest, FirstOpenCreatesAZeroedRecordThatLaterOpensShare) {
  const std::string name = UniqueName("share");
  OpenedInstanceRecord first = InstanceRecord::Open(name);
  EXPECT_TRUE(first.record->created());
  EXPECT_EQ(first.record->Read().instance_count, 0);
  EXPECT_EQ(first.record->Read().window_handle, 0u);
  first.record->Write({1234, 1});
  first.guard.Release();

  OpenedInstanceRecord second = InstanceRecord::Open(name);
  EXPECT_FALSE(second.record->created());
  EXPECT_EQ(second.record->Read().window_handle, 1234u);
  EXPECT_EQ(second.record->Read().instance_count, 1);
}

TEST(InstanceRecordTest, RecordVanishesWithItsLastHolder) {
  const std::string name = UniqueName("last-holder");
  auto a = std::make_unique<OpenedInstanceRecord>(InstanceRecord::Open(name));
  a->record->Write({1, 1});
  a->guard.Release();
  auto b = std::make_unique<OpenedInstanceRecord>(InstanceRecord::Open(name));
  EXPECT_FALSE(b->record->created());
  b->guard.Release();
  a.reset();
  EXPECT_TRUE(NameExists(name)) << "a holder is left";
  {
    const OpenedInstanceRecord c = InstanceRecord::Open(name);
    EXPECT_FALSE(c.record->created());
  }
  b.reset();
  EXPECT_FALSE(NameExists(name)) << "the last holder removes the name";
  const OpenedInstanceRecord d = InstanceRecord::Open(name);
  EXPECT_TRUE(d.record->created());
  EXPECT_EQ(d.record->Read().instance_count, 0);
}

TEST(InstanceRecordTest, RecordOfKilledHoldersCountsAsMissing) {
  const std::string name = UniqueName("killed");
  Pipe ready;
  Pipe stay;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OpenedInstanceRecord held = InstanceRecord::Open(name);
    held.record->Write({77, 3});
    held.guard.Release();
    const char byte = 1;
    if (::write(ready.fds[1], &byte, 1) != 1) ::_exit(1);
    char ignored;
    while (::read(stay.fds[0], &ignored, 1) != 0) {
    }
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready.fds[0], &byte, 1), 1);
  {
    const OpenedInstanceRecord alive = InstanceRecord::Open(name);
    EXPECT_FALSE(alive.record->created());
    EXPECT_EQ(alive.record->Read().window_handle, 77u);
    EXPECT_EQ(alive.record->Read().instance_count, 3);
  }
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(NameExists(name)) << "a killed holder leaves the name behind";

  const OpenedInstanceRecord after = InstanceRecord::Open(name);
  EXPECT_TRUE(after.record->created());
  EXPECT_EQ(after.record->Read().instance_count, 0) << "the stale count is not taken over";
}

TEST(InstanceRecordTest, CopiesStartingTogetherEachCountOnce) {
  constexpr int kCopies = 8;
  const std::string name = UniqueName("together");
  Pipe start;
  Pipe done;
  Pipe stay;
  std::vector<pid_t> children;
  for (int i = 0; i < kCopies; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      start.CloseWrite();
      char ignored;
      while (::read(start.fds[0], &ignored, 1) != 0) {
      }
      OpenedInstanceRecord opened = InstanceRecord::Open(name);
      Register(*opened.record, opened.record->created(), static_cast<uint32_t>(::getpid()));
      opened.guard.Release();
      const char byte = 1;
      if (::write(done.fds[1], &byte, 1) != 1) ::_exit(1);
      stay.CloseWrite();
      while (::read(stay.fds[0], &ignored, 1) != 0) {
      }
      opened.record.reset();  // the last one out removes the name
      ::_exit(0);
    }
    children.push_back(child);
  }
  start.CloseWrite();  // every child starts at once
  for (int i = 0; i < kCopies; ++i) {
    char byte = 0;
    ASSERT_EQ(::read(done.fds[0], &byte, 1), 1);
  }
  {
    const OpenedInstanceRecord opened = InstanceRecord::Open(name);
    EXPECT_FALSE(opened.record->created());
    EXPECT_EQ(opened.record->Read().instance_count, kCopies);
  }
  stay.CloseWrite();
  for (const pid_t child : children) {
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

TEST(InstanceRecordTest, AnotherUsersRecordIsNotSharedButDoesNotStopThisUser) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  constexpr uid_t kOtherUser = 65534;  // nobody
  const std::string name = UniqueName("other-user");
  OpenedInstanceRecord mine = InstanceRecord::Open(name);
  mine.record->Write({1, 1});
  mine.guard.Release();

  Pipe result;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char outcome = 'x';
    if (::setgid(kOtherUser) == 0 && ::setuid(kOtherUser) == 0) {
      try {
        const OpenedInstanceRecord theirs = InstanceRecord::Open(name);
        outcome = theirs.record->created() ? 'c' : 's';
      } catch (const std::exception&) {
        outcome = 'e';
      }
    }
    if (::write(result.fds[1], &outcome, 1) != 1) ::_exit(1);
    ::_exit(0);
  }
  char outcome = 0;
  ASSERT_EQ(::read(result.fds[0], &outcome, 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(outcome, 'c') << "s: shared the other user's record, e: failed, x: no user switch";
  EXPECT_EQ(mine.record->Read().instance_count, 1);
  EXPECT_FALSE(NameExists(name + "~uid" + std::to_string(kOtherUser)))
      << "the other user's record went with it";
}

TEST(InstanceRecordTest, LongNamesAreShortenedByAStableHash) {
  const std::string long_a(400, 'a');
  std::string long_b = long_a;
  long_b.back() = 'b';
  const std::string name_a = SharedMemoryName(long_a);
  EXPECT_EQ(name_a.size(), 1 + kMaxSharedMemoryNameLength);
  EXPECT_EQ(name_a, SharedMemoryName(long_a));
  EXPECT_NE(name_a, SharedMemoryName(long_b)) << "names differing only at the end stay apart";
  EXPECT_EQ(name_a.substr(0, 239), "/" + std::string(238, 'a'));
  EXPECT_EQ(name_a[239], '~');

  const std::string fitting(kMaxSharedMemoryNameLength, 'c');
  EXPECT_EQ(SharedMemoryName(fitting), "/" + fitting);
  EXPECT_EQ(SharedMemoryName("optVelmoraklv_upd"), "/optVelmoraklv_upd");

  const std::string long_unique = UniqueName("long") + std::string(300, 'x');
  const OpenedInstanceRecord opened = InstanceRecord::Open(long_unique);
  EXPECT_TRUE(opened.record->created());
}

TEST(InstanceRecordTest, ShrunkenRecordReadsAsZeroAndIsRestoredByTheNextOpen) {
  const std::string name = UniqueName("shrunk");
  OpenedInstanceRecord first = InstanceRecord::Open(name);
  first.record->Write({5, 1});
  first.guard.Release();
  // Another process of the same user cuts the object down.
  ASSERT_EQ(::truncate((kShmFolder + SharedMemoryName(name)).c_str(), 3), 0);
  EXPECT_EQ(first.record->Read().instance_count, 0);
  const OpenedInstanceRecord second = InstanceRecord::Open(name);
  EXPECT_FALSE(second.record->created());
  EXPECT_EQ(second.record->Read().instance_count, 0);
  second.record->Write({6, 2});
  EXPECT_EQ(first.record->Read().instance_count, 2);
}

}  // namespace
}  // namespace klv::platform
