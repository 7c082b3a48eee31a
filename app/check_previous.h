// CheckPrevious: keeps a second copy of the updater from running beside the first. The copies
// of one program file count themselves in a shared record; a copy that finds the maximum
// reached asks the registered copy's window to come to the front and ends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/instance_record.h"

namespace klv {

// The start-up admits one copy at a time.
inline constexpr int32_t kMaxUpdaterInstances = 1;

// `MappingName`: the program file's full path with every folder separator ("/") removed;
// letter case and everything else stay. So copies share a record exactly when they were
// started from the same path.
std::string MappingName(std::string_view program_file);

// The unit's state. Its destruction is the unit's finalisation.
class CheckPrevious {
 public:
  // Asks the window with the given handle to come to the front (restored if minimised).
  using BringToFront = std::function<void(uint32_t window_handle)>;

  // `program_file` names the record; `bring_to_front` is used for a refused copy.
  CheckPrevious(std::string program_file, BringToFront bring_to_front);
  ~CheckPrevious();
  CheckPrevious(const CheckPrevious&) = delete;
  CheckPrevious& operator=(const CheckPrevious&) = delete;

  // True when `max_instances` copies (compared signed) already hold a place: the registered
  // copy's window has been asked to come forward and the caller must end with exit code 0.
  // False when this copy has been counted (and its `window_handle` registered) and may run.
  // The first copy is admitted whatever the maximum. Raises std::runtime_error naming the
  // record and the system's error when the record cannot be created. Call once.
  bool Check(uint32_t window_handle, int32_t max_instances);

  // The finalisation: an admitted copy takes its place back out of the count; the record is
  // released (and disappears with its last holder). Runs once; never throws.
  void Finalize();

 private:
  std::string program_file_;
  BringToFront bring_to_front_;
  std::unique_ptr<platform::InstanceRecord> record_;
  bool decrement_on_exit_ = true;
};

}  // namespace klv
