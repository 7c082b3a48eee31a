// The state of the window's progress bar `pb`, kept by the engine with the control's rules:
// minimum 0, a maximum below the minimum is refused, the position stays within the range.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace klv {

// The toolkit's error for a property set outside its range.
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ProgressBar {
 public:
  int32_t position() const { return position_; }
  int32_t maximum() const { return maximum_; }

  // Throws EInvalidOperation("TProgressBar property out of range") below 0.
  void SetMaximum(int32_t maximum);
  void SetPosition(int32_t position);

 private:
  int32_t position_ = 0;
  int32_t maximum_ = 100;
};

}  // namespace klv
