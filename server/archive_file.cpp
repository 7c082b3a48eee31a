#include "server/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "server/manifest.h"

namespace klv::sus {

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const std::string& folder, const std::string& name) {
  // A plain name cannot leave the folder; O_NOFOLLOW keeps a link placed in the folder from
  // leading out of it.
  if (!IsPlainFileName(name)) return nullptr;
  const std::string path = folder + name;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<ArchiveFile>(new ArchiveFile(fd, static_cast<uint64_t>(info.st_size)));
}

ArchiveFile::ArchiveFile(int fd, uint64_t size)
    : fd_(fd), size_(size), buffer_(std::make_unique<char[]>(kChunkBytes)) {}

ArchiveFile::~ArchiveFile() {
  ::close(fd_);
}

size_t ArchiveFile::ReadAt(uint64_t offset, size_t length) {
  const size_t wanted = std::min(length, kChunkBytes);
  for (;;) {
    const ssize_t n = ::pread(fd_, buffer_.get(), wanted, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

}  // namespace klv::sus
