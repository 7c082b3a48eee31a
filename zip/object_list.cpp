#include "zip/object_list.h"

namespace klv::zip {

std::string IndexOutOfRangeText(long long index) {
  return "Index " + std::to_string(index) + " is out of range";
}

}  // namespace klv::zip
