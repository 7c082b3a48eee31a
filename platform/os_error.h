// Operating-system failures that must stop an operation, raised with the run time's wording.
#pragma once

#include <stdexcept>
#include <string>

namespace klv::platform {

class OsError : public std::runtime_error {
 public:
  // Message: "System Error.  Code: <code>.\r\n<system text>".
  explicit OsError(int code);
  OsError(int code, const std::string& system_text);
  int code() const { return code_; }

 private:
  int code_;
};

// Throws OsError for the calling thread's last error (errno on POSIX).
[[noreturn]] void RaiseLastOsError();

}  // namespace klv::platform
