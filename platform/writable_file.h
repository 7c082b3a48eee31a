// A file created (or emptied) for writing and closed when the object goes.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace klv::platform {

// The file cannot be created: "Cannot create file "<path>". <reason>".
class FileCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class WritableFile {
 public:
  // Creates the file, replacing any file of that name; throws FileCreateError.
  explicit WritableFile(std::string path);
  ~WritableFile();
  WritableFile(const WritableFile&) = delete;
  WritableFile& operator=(const WritableFile&) = delete;

  // Writes all bytes; throws OsError on failure.
  void Write(const char* data, size_t size);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_;
};

}  // namespace klv::platform
