// The updater's request: a `klv` element whose attributes say which machine asks. Its body
// is Windows-1252 bytes without an XML declaration.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace klv::sus {

struct UpdateRequest {
  std::string computer;  // UTF-8; empty when the updater could not read its name
  std::string domain;    // UTF-8; may be empty
  std::string source;    // the updater's program name
};

class RequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decodes the body from Windows-1252 and reads the `klv` document element. Throws
// RequestError when the body is not well-formed XML or its document element is not `klv`.
// The cost is linear in the body's size; callers bound that size.
UpdateRequest ParseRequestDocument(std::string_view body);

}  // namespace klv::sus
