// An archive of the served folder, open for streaming its bytes to a client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace klv::sus {

class ArchiveFile {
 public:
  // Opens `folder` + `name` for reading. `name` must be a plain file name (IsPlainFileName);
  // symbolic links and anything but a regular file are refused. Answers nullptr when the
  // archive cannot be served.
  static std::unique_ptr<ArchiveFile> Open(const std::string& folder, const std::string& name);
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  uint64_t size() const { return size_; }
  // Reads up to `length` bytes at `offset` into the object's own buffer (at most
  // kChunkBytes); answers the bytes read, 0 at the end or on an error.
  size_t ReadAt(uint64_t offset, size_t length);
  const char* data() const { return buffer_.get(); }

  static constexpr size_t kChunkBytes = 64 * 1024;

 private:
  ArchiveFile(int fd, uint64_t size);
  int fd_;
  uint64_t size_;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace klv::sus
