// The record is a POSIX shared-memory object. Its lifetime follows its holders through
// open-file-description locks on the object, which the system drops when a holder's
// descriptor closes, also when the holder is killed:
// - every holder keeps a shared lock on bytes 0..7 (the record itself);
// - the guard is an exclusive lock on byte 8, just past the record.
// Under the guard a copy that finds no other holder treats the object as new and zeroes it,
// and the last holder to leave removes the name. A copy that opened the object just before
// that removal notices, once it has the guard, that the name now leads elsewhere, and opens
// again.
#include "platform/instance_record.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/os_error.h"

namespace klv::platform {

namespace {

constexpr off_t kRecordStart = 0;
constexpr off_t kGuardByte = kInstanceInfoSize;
constexpr mode_t kRecordMode = 0600;
// Each retry follows a removal by the last holder, which cannot repeat for long.
constexpr int kOpenAttempts = 100;
constexpr auto kFirstGuardPause = std::chrono::microseconds(100);
constexpr auto kLongestGuardPause = std::chrono::milliseconds(10);
// FNV-1a, 64 bits.
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr std::size_t kHashDigits = 16;
// Appended, with the user id, to the name of a record that another user's copies hold.
constexpr char kUserSuffix[] = "~uid";

uint64_t StableHash(std::string_view text) {
  uint64_t hash = kFnvOffset;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnvPrime;
  }
  return hash;
}

// Sets or clears an open-file-description lock without waiting; false when another
// description holds a conflicting lock.
bool TrySetLock(int fd, short type, off_t start, off_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return false;
    RaiseLastOsError();
  }
}

// True when another open description holds a place in the record.
bool OthersHold(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kRecordStart;
  lock.l_len = kInstanceInfoSize;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) RaiseLastOsError();
  return lock.l_type != F_UNLCK;
}

void TakeGuard(int fd) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardWaitLimitMs);
  std::chrono::microseconds pause = kFirstGuardPause;
  while (!TrySetLock(fd, F_WRLCK, kGuardByte, 1)) {
    if (std::chrono::steady_clock::now() >= deadline) throw OsError(EAGAIN);
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, kLongestGuardPause);
  }
}

// True when `name` still names the object open on `fd`.
bool StillNamed(int fd, const std::string& name) {
  const int named = ::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (named < 0) return false;
  struct stat by_name {};
  struct stat by_fd {};
  const bool same = ::fstat(named, &by_name) == 0 && ::fstat(fd, &by_fd) == 0 &&
                    by_name.st_dev == by_fd.st_dev && by_name.st_ino == by_fd.st_ino;
  ::close(named);
  return same;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

}  // namespace

std::string SharedMemoryName(std::string_view mapping_name) {
  if (mapping_name.size() <= kMaxSharedMemoryNameLength) return "/" + std::string(mapping_name);
  char hash[kHashDigits + 1];
  std::snprintf(hash, sizeof hash, "%016llx",
                static_cast<unsigned long long>(StableHash(mapping_name)));
  const std::size_t kept = kMaxSharedMemoryNameLength - kHashDigits - 1;
  return "/" + std::string(mapping_name.substr(0, kept)) + "~" + hash;
}

InstanceRecord::Guard::Guard(Guard&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceRecord::Guard::~Guard() {
  Release();
}

void InstanceRecord::Guard::Release() {
  if (fd_ < 0) return;
  try {
    TrySetLock(std::exchange(fd_, -1), F_UNLCK, kGuardByte, 1);
  } catch (const OsError&) {
    // Closing the descriptor releases the lock in any case.
  }
}

OpenedInstanceRecord InstanceRecord::Open(const std::string& mapping_name) {
  std::string name = SharedMemoryName(mapping_name);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    Descriptor fd(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kRecordMode));
    if (fd.get() < 0 && errno == EACCES) {
      // Another user's copy holds the name. A Windows mapping name without prefix belongs to
      // the user's session, so each user's copies count apart: take a name of this user's own.
      name = SharedMemoryName(std::string(mapping_name) + kUserSuffix + std::to_string(::getuid()));
      fd.reset(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kRecordMode));
    }
    if (fd.get() < 0) RaiseLastOsError();
    TakeGuard(fd.get());
    Guard guard(fd.get());
    if (!StillNamed(fd.get(), name)) continue;

    const bool created = !OthersHold(fd.get());
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) RaiseLastOsError();
    if (created && ::ftruncate(fd.get(), 0) != 0) RaiseLastOsError();
    if ((created || st.st_size < static_cast<off_t>(kInstanceInfoSize)) &&
        ::ftruncate(fd.get(), kInstanceInfoSize) != 0) {
      RaiseLastOsError();
    }
    if (!TrySetLock(fd.get(), F_RDLCK, kRecordStart, kInstanceInfoSize)) throw OsError(EAGAIN);

    std::unique_ptr<InstanceRecord> record(new InstanceRecord(fd.release(), name, created));
    return OpenedInstanceRecord{std::move(record), std::move(guard)};
  }
  throw OsError(EAGAIN);
}

InstanceRecord::InstanceRecord(int fd, std::string name, bool created)
    : fd_(fd), name_(std::move(name)), created_(created) {}

InstanceRecord::~InstanceRecord() {
  try {
    const Guard guard = Lock();
    TrySetLock(fd_, F_UNLCK, kRecordStart, kInstanceInfoSize);
    if (!OthersHold(fd_)) ::shm_unlink(name_.c_str());
  } catch (const OsError&) {
    // Without the guard the name stays; the next copy finds nobody holding it and starts over.
  }
  ::close(fd_);
}

InstanceRecord::Guard InstanceRecord::Lock() {
  TakeGuard(fd_);
  return Guard(fd_);
}

InstanceInfo InstanceRecord::Read() const {
  unsigned char bytes[kInstanceInfoSize] = {};
  ssize_t n;
  do {
    n = ::pread(fd_, bytes, sizeof bytes, kRecordStart);
  } while (n < 0 && errno == EINTR);
  InstanceInfo info;
  std::memcpy(&info, bytes, sizeof info);
  return info;
}

void InstanceRecord::Write(const InstanceInfo& info) {
  unsigned char bytes[kInstanceInfoSize];
  std::memcpy(bytes, &info, sizeof bytes);
  ssize_t n;
  do {
    n = ::pwrite(fd_, bytes, sizeof bytes, kRecordStart);
  } while (n < 0 && errno == EINTR);
  if (n < 0) RaiseLastOsError();
  if (n != static_cast<ssize_t>(sizeof bytes)) throw OsError(EIO);
}

}  // namespace klv::platform
