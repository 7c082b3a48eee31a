#include "update/progress_bar.h"

#include <algorithm>

namespace klv {

void ProgressBar::SetMaximum(int32_t maximum) {
  if (maximum < 0) throw EInvalidOperation("TProgressBar property out of range");
  maximum_ = maximum;
  position_ = std::min(position_, maximum_);
}

void ProgressBar::SetPosition(int32_t position) {
  position_ = std::clamp(position, int32_t{0}, maximum_);
}

}  // namespace klv
