#include "platform/writable_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/os_error.h"

namespace klv::platform {

WritableFile::WritableFile(std::string path)
    : path_(std::move(path)),
      fd_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
  if (fd_ < 0) {
    throw FileCreateError("Cannot create file \"" + path_ + "\". " + std::strerror(errno));
  }
}

WritableFile::~WritableFile() {
  ::close(fd_);
}

void WritableFile::Write(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOsError();
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace klv::platform
