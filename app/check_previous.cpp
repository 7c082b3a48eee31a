#include "app/check_previous.h"

#include <limits>
#include <stdexcept>

#include "platform/file_system.h"
#include "platform/os_error.h"

namespace klv {

std::string MappingName(std::string_view program_file) {
  std::string name;
  name.reserve(program_file.size());
  for (const char c : program_file) {
    if (c != platform::kPathSeparator) name += c;
  }
  return name;
}

CheckPrevious::CheckPrevious(std::string program_file, BringToFront bring_to_front)
    : program_file_(std::move(program_file)), bring_to_front_(std::move(bring_to_front)) {}

CheckPrevious::~CheckPrevious() {
  Finalize();
}

bool CheckPrevious::Check(uint32_t window_handle, int32_t max_instances) {
  // The guard stays taken until this copy has read, compared and updated the record, so two
  // copies started at the same instant are counted one after the other.
  const std::string mapping_name = MappingName(program_file_);
  platform::OpenedInstanceRecord opened = [&] {
    try {
      return platform::InstanceRecord::Open(mapping_name);
    } catch (const platform::OsError& error) {
      throw std::runtime_error("the single-instance record " +
                               platform::SharedMemoryName(mapping_name) +
                               " cannot be created: " + error.what());
    }
  }();
  record_ = std::move(opened.record);
  if (record_->created()) {
    record_->Write({window_handle, 1});
    return false;
  }
  platform::InstanceInfo info = record_->Read();
  if (max_instances > info.instance_count) {
    // The newest admitted copy is the one that later refused copies bring forward.
    info.window_handle = window_handle;
    ++info.instance_count;  // below max_instances, so it cannot overflow
    record_->Write(info);
    return false;
  }
  decrement_on_exit_ = false;
  opened.guard.Release();
  bring_to_front_(info.window_handle);
  return true;
}

void CheckPrevious::Finalize() {
  if (record_ == nullptr) return;
  if (decrement_on_exit_) {
    try {
      const platform::InstanceRecord::Guard guard = record_->Lock();
      platform::InstanceInfo info = record_->Read();
      // The count comes from shared memory that any copy may have left in any state.
      if (info.instance_count > std::numeric_limits<int32_t>::min()) --info.instance_count;
      record_->Write(info);
    } catch (const platform::OsError&) {
      // The count cannot be corrected; the record still goes with its last holder.
    }
  }
  record_.reset();
}

}  // namespace klv
