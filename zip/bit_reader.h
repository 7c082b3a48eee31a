// BitReader: the bit input of the legacy decoders (unshrink, unreduce, explode). Bits come
// least significant first from the entry's compressed bytes, pulled one at a time through
// EntryIo::NextInputByte. Running out of input is handled here and nowhere else: once the
// compressed bytes are used up, the reader goes on supplying zero bits (so a decoder may peek
// a full lookup width near the end of its data) and counts them, and Exhausted() tells a
// decoder that it has consumed bits that the entry does not hold, which only damaged or cut
// data makes it do.
#pragma once

#include <cstdint>
#include <optional>

#include "zip/entry_io.h"

namespace klv::zip {

class BitReader {
 public:
  // The most bits one Need call may ask for.
  static constexpr unsigned kMaxNeed = 25;

  explicit BitReader(EntryIo& io) : io_(io) {}

  // Makes at least `n` (at most kMaxNeed) bits available. When the compressed bytes are used
  // up, zero bytes stand in for the missing ones.
  void Need(unsigned n) {
    if (count_ >= n) return;
    while (count_ < kMaxNeed) {
      const std::optional<uint8_t> byte = io_.NextInputByte();
      if (byte) {
        bits_ |= static_cast<uint32_t>(*byte) << count_;
      } else {
        padding_ += 8;  // a zero byte past the end
      }
      count_ += 8;
    }
  }
  // The next `n` bits (n <= 16) without consuming them; Need(n) first.
  uint32_t Peek(unsigned n) const { return bits_ & Mask(n); }
  // Consumes `n` bits already made available by Need.
  void Drop(unsigned n) {
    bits_ >>= n;
    count_ -= n;
    if (count_ < padding_) {
      exhausted_ = true;
      padding_ = count_;
    }
  }
  // Reads `n` bits (n <= 16) into `value`; false, without consuming anything, when the
  // entry's compressed data does not hold that many more bits.
  bool Read(unsigned n, uint32_t& value) {
    Need(n);
    if (count_ < padding_ + n) return false;
    value = Peek(n);
    Drop(n);
    return true;
  }
  // True once bits beyond the end of the compressed data have been consumed.
  bool Exhausted() const { return exhausted_; }

  static constexpr uint32_t Mask(unsigned n) { return (uint32_t{1} << n) - 1; }

 private:
  EntryIo& io_;
  uint32_t bits_ = 0;     // held bits, the next one lowest
  unsigned count_ = 0;    // bits held, padding included
  unsigned padding_ = 0;  // zero bits past the end of the data, always the top of those held
  bool exhausted_ = false;
};

}  // namespace klv::zip
