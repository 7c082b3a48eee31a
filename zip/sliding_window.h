// SlidingWindow: the output side of unreduce and explode. Bytes are written into a window
// of a power-of-two size inside the extraction run's window buffer; each time the window
// fills, it is appended to the output buffer, which is flushed whenever it holds
// kIoBlockSize bytes. Copies take their source `distance` bytes behind the write position,
// wrapped into the window. The window starts zero-filled, so a source before the start of
// the data yields zero bytes, as the formats ask.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zip/entry_io.h"

namespace klv::zip {

class SlidingWindow {
 public:
  // `window` holds `size` bytes (a power of two dividing kIoBlockSize); not owned.
  SlidingWindow(EntryIo& io, uint8_t* window, size_t size)
      : io_(io), window_(window), size_(size), output_(io.OutputBuffer()) {
    std::memset(window_, 0, size_);
  }

  void Put(uint8_t byte) {
    window_[pos_++] = byte;
    if (pos_ == size_) Wrap();
  }

  // Copies `length` bytes from `distance` bytes back. A distance of 0 or beyond the window
  // is refused (false, nothing written): the data is damaged.
  bool Copy(size_t distance, size_t length) {
    if (distance == 0 || distance > size_) return false;
    while (length > 0) {
      const size_t from = (pos_ - distance) & (size_ - 1);
      const size_t n = std::min({length, size_ - from, size_ - pos_});
      if (from + n <= pos_ || pos_ + n <= from) {
        std::memcpy(window_ + pos_, window_ + from, n);
      } else {
        // The source overlaps the bytes being written: a repeating pattern, byte by byte.
        for (size_t i = 0; i < n; ++i) window_[pos_ + i] = window_[from + i];
      }
      pos_ += n;
      length -= n;
      if (pos_ == size_) Wrap();
    }
    return true;
  }

  // Appends what was written since the last wrap and flushes the output buffer.
  void Finish() {
    std::memcpy(output_ + pending_, window_, pos_);
    io_.FlushOutput(pending_ + pos_);
    pending_ = 0;
    pos_ = 0;
  }

 private:
  void Wrap() {
    std::memcpy(output_ + pending_, window_, size_);
    pending_ += size_;
    pos_ = 0;
    if (pending_ == kIoBlockSize) {
      pending_ = 0;  // reset first: FlushOutput may raise
      io_.FlushOutput(kIoBlockSize);
    }
  }

  EntryIo& io_;
  uint8_t* const window_;
  const size_t size_;
  uint8_t* const output_;
  size_t pos_ = 0;      // write position in the window
  size_t pending_ = 0;  // bytes in the output buffer, a multiple of size_
};

}  // namespace klv::zip
