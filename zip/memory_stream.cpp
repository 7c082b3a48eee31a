#include "zip/memory_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "zip/zip_errors.h"

namespace klv::zip {

TMemoryStream::TMemoryStream(std::string_view content) {
  Write(content.data(), content.size());
  position_ = 0;
}

TMemoryStream::~TMemoryStream() {
  std::free(data_);
}

void TMemoryStream::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  if (data_ == nullptr) {
    data_ = static_cast<uint8_t*>(std::calloc(capacity, 1));
    if (data_ == nullptr) throw std::bad_alloc();
  } else {
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, capacity));
    if (grown == nullptr) throw std::bad_alloc();
    data_ = grown;
    std::memset(data_ + capacity_, 0, capacity - capacity_);
  }
  capacity_ = capacity;
}

size_t TMemoryStream::Read(void* destination, size_t count) {
  if (position_ >= size_) return 0;
  const size_t n = std::min(count, size_ - position_);
  std::memcpy(destination, data_ + position_, n);
  position_ += n;
  return n;
}

size_t TMemoryStream::Write(const void* source, size_t count) {
  if (count == 0) return 0;
  const size_t end = position_ + count;
  if (end > capacity_) Reserve(std::max(end, capacity_ + capacity_ / 2));
  std::memcpy(data_ + position_, source, count);
  position_ = end;
  if (end > size_) size_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = static_cast<int64_t>(position_);
  if (origin == SeekOrigin::kEnd) base = static_cast<int64_t>(size_);
  position_ = static_cast<size_t>(SeekTarget(base, offset));
  return static_cast<int64_t>(position_);
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size");
  const auto new_size = static_cast<size_t>(size);
  if (new_size > capacity_) {
    Reserve(new_size);
  } else if (new_size < size_) {
    std::memset(data_ + new_size, 0, size_ - new_size);  // regrowth reads zeros again
  }
  size_ = new_size;
  if (position_ > size_) position_ = size_;
}

}  // namespace klv::zip
