// A stream over a growable block of memory. Bytes beyond what was written read as zeros.
#pragma once

#include <cstdint>
#include <string_view>

#include "zip/stream.h"

namespace klv::zip {

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view content);  // a copy, position 0
  ~TMemoryStream() override;

  size_t Read(void* destination, size_t count) override;
  // Writes at the position, growing the stream (and its capacity by at least half) when
  // the bytes pass its end.
  size_t Write(const void* source, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return size_; }
  // Sets the size exactly (capacity too, when it grows); new bytes are zero.
  void SetSize(int64_t size) override;

  const uint8_t* Data() const { return data_; }
  // The bytes, writable in place up to Size().
  uint8_t* Memory() { return data_; }
  std::string_view View() const { return {reinterpret_cast<const char*>(data_), size_}; }

 private:
  void Reserve(size_t capacity);

  uint8_t* data_ = nullptr;  // owned; calloc'd, so fresh large blocks cost no clearing
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t position_ = 0;
};

}  // namespace klv::zip
