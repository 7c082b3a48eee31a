// The single-instance record: 8 bytes of named shared memory that every running copy of the
// same program file shares. Like a Windows named mapping it lives exactly as long as a copy
// holds it, also when the holders were killed, and a guard between copies makes each
// read-compare-update atomic, so two copies started at the same instant cannot both count
// themselves first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace klv::platform {

// The record's layout, 8 bytes without header.
struct InstanceInfo {
  uint32_t window_handle = 0;  // the window that a refused copy brings to the front
  int32_t instance_count = 0;  // copies holding a place
};
inline constexpr std::size_t kInstanceInfoSize = 8;
static_assert(sizeof(InstanceInfo) == kInstanceInfoSize);

// Longest object name the system accepts (without the leading "/").
inline constexpr std::size_t kMaxSharedMemoryNameLength = 255;
// A copy holds the guard for a few microseconds; one that keeps it longer is stopped or stuck.
inline constexpr int kGuardWaitLimitMs = 10000;

// The system object name for `mapping_name`: "/" + the name, or, when the name is longer than
// kMaxSharedMemoryNameLength, its start followed by "~" and 16 hex digits of a stable 64-bit
// hash of the whole name (the same on every run and build).
std::string SharedMemoryName(std::string_view mapping_name);

struct OpenedInstanceRecord;

class InstanceRecord {
 public:
  // Exclusive access to the record among all copies while it exists; released on destruction.
  class Guard {
   public:
    Guard(Guard&& other) noexcept;
    Guard& operator=(Guard&&) = delete;
    ~Guard();
    // Releases the guard before the object goes.
    void Release();

   private:
    friend class InstanceRecord;
    explicit Guard(int fd) : fd_(fd) {}
    int fd_;
  };

  // Opens the record named `mapping_name`, creating it when missing, and makes this object one
  // of its holders. A record that exists but that no copy holds (its holders were killed)
  // counts as missing and starts again zeroed. A record that another user owns is not shared:
  // this user's copies use a name of their own (`mapping_name` + "~uid" + the user id).
  // Answers with `guard` held, so the caller's first
  // read-compare-update is atomic. Raises OsError when the record cannot be created,
  // or when another copy keeps the guard for longer than kGuardWaitLimitMs.
  static OpenedInstanceRecord Open(const std::string& mapping_name);
  // Gives up the place among the holders; the last holder removes the name.
  ~InstanceRecord();
  InstanceRecord(const InstanceRecord&) = delete;
  InstanceRecord& operator=(const InstanceRecord&) = delete;

  // True when no copy held the record when this one opened it.
  bool created() const { return created_; }
  // Exclusive access for a later read-compare-update (the finalisation's decrement).
  Guard Lock();
  // Reads and writes of the shared record; hold a Guard around a read-compare-update. They go
  // through the descriptor rather than a mapping, so another process that shrinks the object
  // cannot make them fault: missing bytes read as zero. Write raises OsError on failure.
  InstanceInfo Read() const;
  void Write(const InstanceInfo& info);

 private:
  InstanceRecord(int fd, std::string name, bool created);
  int fd_;
  std::string name_;
  bool created_;
};

struct OpenedInstanceRecord {
  std::unique_ptr<InstanceRecord> record;
  InstanceRecord::Guard guard;
};

}  // namespace klv::platform
