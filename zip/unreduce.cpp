// Unreduce (methods 2 to 5, PKZIP 0.x "reducing").
//
// Format notes. The data opens with 256 follower sets, for byte values 255 down to 0: a
// 6-bit count and that many 8-bit bytes, the bytes that most often follow that value. Each
// byte after that is coded against the set of the byte decoded before it: with an empty set
// it is 8 raw bits; otherwise a 1 bit is followed by 8 raw bits, and a 0 bit by an index
// into the set, as wide as a set of that size needs. The decoded bytes then run through a
// small state machine: 144 is an escape; 144 0 stands for a single 144, and 144 V [L] D
// for a copy of (V's length bits [+ L]) + 3 bytes from a distance made of V's high bits and
// D. The compression factor f (method - 1) sets how V's bits divide between the two.
//
// Memory: the run's window buffer only: 16 KB of sliding window (wider than the 4 KB that a
// distance can reach) and 16 KB of follower sets (256 rows of 64 bytes), plus the 256 set
// sizes on the stack.
#include "zip/unreduce.h"

#include <algorithm>
#include <array>
#include <limits>

#include "zip/bit_reader.h"
#include "zip/sliding_window.h"

namespace klv::zip {

namespace {

constexpr size_t kWindowSize = 16384;
constexpr size_t kFollowerRowSize = 64;
constexpr uint8_t kEscape = 144;
constexpr unsigned kMinCopy = 3;
constexpr unsigned kCountBits = 6;

// Indexed by the factor (1 to 4); entry 0 is unused.
constexpr uint8_t kLengthMask[5] = {0, 0x7F, 0x3F, 0x1F, 0x0F};
constexpr uint8_t kDistanceShift[5] = {0, 7, 6, 5, 4};
constexpr uint8_t kDistanceMask[5] = {0, 0x01, 0x03, 0x07, 0x0F};

// Width of a follower index for a set of n bytes (n = 0 to 64): the bits needed for an
// index below n, at least 1; 8 for an empty set (never read: its bytes come raw).
constexpr std::array<uint8_t, 65> MakeIndexWidths() {
  std::array<uint8_t, 65> widths{};
  widths[0] = 8;
  for (unsigned n = 1; n <= 64; ++n) {
    uint8_t bits = 1;
    while ((1u << bits) < n) ++bits;
    widths[n] = bits;
  }
  return widths;
}
constexpr std::array<uint8_t, 65> kIndexWidth = MakeIndexWidths();

class Unreducer {
 public:
  Unreducer(EntryIo& io, int factor)
      : reader_(io),
        window_(io, io.WindowBuffer(), kWindowSize),
        followers_(io.WindowBuffer() + kWindowSize),
        factor_(factor) {}

  void Run(uint64_t uncompressed_size) {
    if (ReadFollowerSets()) Decode(uncompressed_size);
    window_.Finish();
  }

 private:
  bool ReadFollowerSets() {
    for (int value = 255; value >= 0; --value) {
      uint32_t count = 0;
      if (!reader_.Read(kCountBits, count)) return false;
      counts_[value] = static_cast<uint8_t>(count);
      uint8_t* const row = followers_ + value * kFollowerRowSize;
      for (uint32_t i = 0; i < count; ++i) {
        uint32_t byte = 0;
        if (!reader_.Read(8, byte)) return false;
        row[i] = static_cast<uint8_t>(byte);
      }
    }
    return true;
  }

  // The next byte, coded against the follower set of `last`; false on damaged or cut data.
  bool NextByte(uint8_t last, uint8_t& byte) {
    const uint8_t count = counts_[last];
    uint32_t value = 0;
    if (count > 0) {
      uint32_t raw = 0;
      if (!reader_.Read(1, raw)) return false;
      if (raw == 0) {
        if (!reader_.Read(kIndexWidth[count], value) || value >= count) return false;
        byte = followers_[last * kFollowerRowSize + value];
        return true;
      }
    }
    if (!reader_.Read(8, value)) return false;
    byte = static_cast<uint8_t>(value);
    return true;
  }

  void Decode(uint64_t uncompressed_size) {
    int64_t left = static_cast<int64_t>(
        std::min<uint64_t>(uncompressed_size, std::numeric_limits<int64_t>::max()));
    const unsigned length_mask = kLengthMask[factor_];
    enum class State { kPlain, kEscaped, kLongLength, kDistance } state = State::kPlain;
    uint8_t last = 0;
    uint8_t v = 0;
    unsigned length = 0;
    while (left > 0) {
      uint8_t byte = 0;
      if (!NextByte(last, byte)) return;
      switch (state) {
        case State::kPlain:
          if (byte == kEscape) {
            state = State::kEscaped;
          } else {
            window_.Put(byte);
            --left;
          }
          break;
        case State::kEscaped:
          if (byte == 0) {
            window_.Put(kEscape);
            --left;
            state = State::kPlain;
          } else {
            v = byte;
            length = v & length_mask;
            state = length == length_mask ? State::kLongLength : State::kDistance;
          }
          break;
        case State::kLongLength:
          length += byte;
          state = State::kDistance;
          break;
        case State::kDistance: {
          const size_t distance =
              ((static_cast<size_t>(v >> kDistanceShift[factor_]) & kDistanceMask[factor_]) << 8) +
              byte + 1;
          if (!window_.Copy(distance, length + kMinCopy)) return;
          left -= length + kMinCopy;
          state = State::kPlain;
          break;
        }
      }
      last = byte;
    }
  }

  BitReader reader_;
  SlidingWindow window_;
  uint8_t* const followers_;
  const int factor_;
  uint8_t counts_[256] = {};
};

}  // namespace

void UnreduceEntry(EntryIo& io, int factor, uint64_t uncompressed_size) {
  if (factor < 1 || factor > 4) return;
  Unreducer(io, factor).Run(uncompressed_size);
}

}  // namespace klv::zip
