#include "zip/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os_error.h"
#include "zip/zip_errors.h"

namespace klv::zip {

TFileStream::TFileStream(const std::string& path, FileMode mode) {
  int flags = O_RDONLY;
  if (mode == FileMode::kCreate) flags = O_RDWR | O_CREAT | O_TRUNC;
  if (mode == FileMode::kReadWrite) flags = O_RDWR;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd_ < 0) platform::RaiseLastOsError();
}

TFileStream::~TFileStream() {
  ::close(fd_);
}

size_t TFileStream::Read(void* destination, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, static_cast<char*>(destination) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t TFileStream::Write(const void* source, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, static_cast<const char*>(source) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t target = offset;
  if (origin == SeekOrigin::kCurrent) {
    target = SeekTarget(::lseek(fd_, 0, SEEK_CUR), offset);
  } else if (origin == SeekOrigin::kEnd) {
    target = SeekTarget(Size(), offset);
  } else {
    target = SeekTarget(0, offset);
  }
  const off_t result = ::lseek(fd_, static_cast<off_t>(target), SEEK_SET);
  if (result < 0) throw EStreamError("Invalid stream position");
  return result;
}

int64_t TFileStream::Size() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) platform::RaiseLastOsError();
  return info.st_size;
}

void TFileStream::SetSize(int64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) platform::RaiseLastOsError();
}

void TFileStream::Flush() {
  ::fsync(fd_);
}

}  // namespace klv::zip
