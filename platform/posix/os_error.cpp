#include "platform/os_error.h"

#include <cerrno>
#include <cstring>

namespace klv::platform {

OsError::OsError(int code) : OsError(code, std::strerror(code)) {}

OsError::OsError(int code, const std::string& system_text)
    : std::runtime_error("System Error.  Code: " + std::to_string(code) + ".\r\n" + system_text),
      code_(code) {}

void RaiseLastOsError() {
  throw OsError(errno);
}

}  // namespace klv::platform
