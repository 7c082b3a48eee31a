// Unshrink (method 1, PKZIP 1.x "shrinking").
//
// Format notes. Shrinking is LZW with codes read least significant bit first, 9 bits wide
// at the start. Codes 0 to 255 stand for their byte; 256 is a control code whose next code
// says what to do: 1 widens all later codes by one bit (13 at most), 2 frees every code that
// is not the prefix of another (a partial clear), and new codes then take the lowest free
// numbers from 257 up. Every other code outputs its string, and the string of the code
// before it plus the first byte of this one becomes the next free code. A code that is not
// yet defined is the string of the previous code plus that string's own first byte (the
// "KwKwK" case).
//
// Memory: the run's window buffer only, holding three tables of 8192 entries: the parent
// (prefix) code of each code as a 16-bit signed value (-1: free), the last byte of each
// code's string, and the decode stack on which a string is spelled backwards. A string
// longer than the stack only comes from damaged data (a loop of codes) and stops decoding.
#include "zip/unshrink.h"

#include <algorithm>
#include <cstring>

#include "zip/bit_reader.h"

namespace klv::zip {

namespace {

constexpr uint32_t kMaxCodes = 8192;
constexpr int16_t kFree = -1;
constexpr uint32_t kControlCode = 256;
constexpr uint32_t kFirstFreeCode = 257;
constexpr uint32_t kControlWiden = 1;
constexpr uint32_t kControlPartialClear = 2;
constexpr unsigned kFirstCodeSize = 9;
constexpr unsigned kMaxCodeSize = 13;

static_assert(kMaxCodes * (sizeof(int16_t) + 2) <= 32780, "the tables fit the window buffer");

class Unshrinker {
 public:
  explicit Unshrinker(EntryIo& io)
      : io_(io),
        reader_(io),
        parent_(reinterpret_cast<int16_t*>(io.WindowBuffer())),
        last_byte_(io.WindowBuffer() + kMaxCodes * sizeof(int16_t)),
        stack_(last_byte_ + kMaxCodes),
        output_(io.OutputBuffer()) {}

  void Run() {
    for (uint32_t code = 0; code < 256; ++code) {
      parent_[code] = 0;
      last_byte_[code] = static_cast<uint8_t>(code);
    }
    std::fill(parent_ + 256, parent_ + kMaxCodes, kFree);
    Decode();
    io_.FlushOutput(pending_);
  }

 private:
  void Decode() {
    uint32_t code = 0;
    if (!reader_.Read(code_size_, code) || code > 255) return;
    first_byte_ = static_cast<uint8_t>(code);
    Emit(first_byte_);
    previous_ = code;
    while (reader_.Read(code_size_, code)) {
      if (code == kControlCode) {
        uint32_t control = 0;
        if (!reader_.Read(code_size_, control)) return;
        if (control == kControlWiden && ++code_size_ > kMaxCodeSize) return;
        if (control == kControlPartialClear) PartialClear();
        continue;
      }
      if (!Expand(code)) return;
      if (next_free_ < kMaxCodes) {
        parent_[next_free_] = static_cast<int16_t>(previous_);
        last_byte_[next_free_] = first_byte_;
        do {
          ++next_free_;
        } while (next_free_ < kMaxCodes && parent_[next_free_] != kFree);
      }
      previous_ = code;
    }
  }

  // Spells the string of `code` backwards on the stack, then outputs it; false when the
  // chain does not end within the stack (damaged data).
  bool Expand(uint32_t code) {
    size_t depth = 0;
    uint32_t current = code;
    if (parent_[current] == kFree) {  // KwKwK: not defined yet
      stack_[depth++] = first_byte_;
      current = previous_;
    }
    while (current >= kFirstFreeCode) {
      if (depth == kMaxCodes) return false;
      if (parent_[current] == kFree) {
        stack_[depth++] = first_byte_;
        current = previous_;
      } else {
        stack_[depth++] = last_byte_[current];
        current = static_cast<uint32_t>(parent_[current]);
      }
    }
    if (current > 255 || depth == kMaxCodes) return false;
    first_byte_ = static_cast<uint8_t>(current);
    stack_[depth++] = first_byte_;
    while (depth > 0) {
      const size_t n = std::min(depth, kIoBlockSize - pending_);
      for (size_t i = 0; i < n; ++i) output_[pending_ + i] = stack_[depth - 1 - i];
      depth -= n;
      pending_ += n;
      if (pending_ == kIoBlockSize) FlushBlock();
    }
    return true;
  }

  void Emit(uint8_t byte) {
    output_[pending_++] = byte;
    if (pending_ == kIoBlockSize) FlushBlock();
  }

  void FlushBlock() {
    pending_ = 0;  // reset first: FlushOutput may raise
    io_.FlushOutput(kIoBlockSize);
  }

  // Frees every code from 257 below the next free code that is no other code's parent; new
  // codes then fill the freed numbers from the lowest up. The stack, empty between codes,
  // holds the marks.
  void PartialClear() {
    uint8_t* const leaf = stack_;
    std::memset(leaf, 0, kMaxCodes);
    std::fill(leaf + kFirstFreeCode, leaf + next_free_, 1);
    for (uint32_t code = kFirstFreeCode; code < next_free_; ++code) {
      if (parent_[code] != kFree) leaf[parent_[code]] = 0;
    }
    for (uint32_t code = kFirstFreeCode; code < next_free_; ++code) {
      if (leaf[code]) parent_[code] = kFree;
    }
    next_free_ = kFirstFreeCode;
    while (next_free_ < kMaxCodes && parent_[next_free_] != kFree) ++next_free_;
  }

  EntryIo& io_;
  BitReader reader_;
  int16_t* const parent_;
  uint8_t* const last_byte_;
  uint8_t* const stack_;
  uint8_t* const output_;
  size_t pending_ = 0;  // bytes in the output buffer
  unsigned code_size_ = kFirstCodeSize;
  uint32_t next_free_ = kFirstFreeCode;
  uint32_t previous_ = 0;
  uint8_t first_byte_ = 0;  // first byte of the string output last
};

}  // namespace

void UnshrinkEntry(EntryIo& io) {
  Unshrinker(io).Run();
}

}  // namespace klv::zip
