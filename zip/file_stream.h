// A stream over an operating-system file, without buffering.
#pragma once

#include <string>

#include "zip/stream.h"

namespace klv::zip {

enum class FileMode { kRead, kCreate, kReadWrite };

class TFileStream : public TStream {
 public:
  // Opens (or, for kCreate, creates and truncates) the file; raises platform::OsError when
  // that fails.
  TFileStream(const std::string& path, FileMode mode);
  ~TFileStream() override;

  size_t Read(void* destination, size_t count) override;
  size_t Write(const void* source, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;  // without moving the position
  void SetSize(int64_t size) override;
  // Asks the operating system to write the file's buffers to disk.
  void Flush();

 private:
  int fd_ = -1;
};

}  // namespace klv::zip
