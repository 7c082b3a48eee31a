#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/os_error.h"

namespace klv::platform {

const char kPathSeparator = '/';

std::string IncludeTrailingSeparator(std::string folder) {
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::string ToNativePath(std::string_view windows_form) {
  std::string path(windows_form);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (DirectoryExists(folder)) return true;
  const auto slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) ForceDirectories(folder.substr(0, slash));
  return ::mkdir(folder.c_str(), 0777) == 0 || DirectoryExists(folder);
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  // link + unlink refuses an existing destination, as a Windows move does.
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST || !FileExists(from)) return false;
    // File systems without hard links: fall back to a checked rename.
    if (FileExists(to) || DirectoryExists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  if (::unlink(from.c_str()) != 0) {
    ::unlink(to.c_str());
    return false;
  }
  return true;
}

std::optional<bool> IsReadOnly(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return (st.st_mode & S_IWUSR) == 0;
}

bool SetReadOnly(const std::string& path, bool read_only) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  const mode_t mode =
      read_only ? (st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
  return ::chmod(path.c_str(), mode & 07777) == 0;
}

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOsError();
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace

bool CanOpenForWriting(const std::string& path) {
  if (!FileExists(path)) return true;
  // Not blocking: a pipe without a reader answers at once instead of waiting for one.
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  return fd.get() >= 0;
}

std::string ReadWholeFile(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) RaiseLastOsError();
  std::string data;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOsError();
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

void ReplaceFileContent(const std::string& path, std::string_view data,
                        const std::string& attributes_from) {
  std::random_device random;
  const std::string temporary = path + ".tmp" + std::to_string(random() % 1000000);
  FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) RaiseLastOsError();
  try {
    struct stat st;
    // Keep the replaced file's permission bits and owner (changing the owner needs rights
    // the program may lack; the content matters more, so that failure is ignored).
    const std::string& model = attributes_from.empty() ? path : attributes_from;
    if (::stat(model.c_str(), &st) == 0) {
      ::fchmod(fd.get(), st.st_mode & 07777);
      [[maybe_unused]] const int ignored = ::fchown(fd.get(), st.st_uid, st.st_gid);
    }
    WriteAll(fd.get(), data);
    if (::fsync(fd.get()) != 0) RaiseLastOsError();
    if (::close(fd.release()) != 0) RaiseLastOsError();
    if (::rename(temporary.c_str(), path.c_str()) != 0) RaiseLastOsError();
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

}  // namespace klv::platform
