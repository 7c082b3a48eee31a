// Explode (method 6, PKZIP 1.x "imploding").
//
// Format notes. The data opens with two or three tree descriptions: the literal tree (256
// codes, only when flag bit 2 is set), the length tree (64 codes) and the distance tree (64
// codes). A description is a byte holding the number of bytes that follow less one; each of
// those gives a code length (low 4 bits + 1) repeated (high 4 bits + 1) times. Codes are
// assigned to the lengths as the application note lays down: symbols sorted by length (ties
// in symbol order), then, from the last of them back to the first, a 16-bit code that grows
// by 2^(16 - length) of the symbol before. The first bit read is the code's most significant.
// Then, until the entry's size is produced: a 1 bit and a literal (through the literal tree,
// or 8 raw bits), or a 0 bit and a match: 6 raw low distance bits (7 with the 8 KB
// dictionary), the high distance bits through the distance tree, the length through the
// length tree plus the minimum match (3 with a literal tree, else 2), and for the last
// length code 8 more raw bits. Sources before the start of the data read as zeros.
//
// Memory: the run's window buffer as a 32 KB sliding window, plus the three lookup tables,
// allocated for the entry and freed after it: a first level of 7 to 9 bits and, for longer
// codes, second-level tables; at most a few hundred KB for the most spread-out code lengths
// and a few KB for ordinary ones.
#include "zip/explode.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

#include "zip/bit_reader.h"
#include "zip/sliding_window.h"

namespace klv::zip {

namespace {

constexpr uint16_t kFlag8KDictionary = 0x0002;
constexpr uint16_t kFlagLiteralTree = 0x0004;
constexpr size_t kWindowSize = 32768;
constexpr unsigned kLiteralCodes = 256;
constexpr unsigned kLengthCodes = 64;
constexpr unsigned kDistanceCodes = 64;
constexpr unsigned kMaxCodeLength = 16;
constexpr unsigned kLiteralRootBits = 9;
constexpr unsigned kLengthRootBits = 7;
constexpr unsigned kDistanceRootBits = 7;
constexpr unsigned kLargeDistanceRootBits = 8;
constexpr uint64_t kLargeEntry = 200000;  // compressed bytes above which distances use 8 bits
constexpr unsigned kLongLengthCode = 63;  // followed by 8 raw bits added to the length
constexpr unsigned kLongLengthBits = 8;
// Second-level tables are addressed by 16-bit offsets; codes that fit the code space never
// need more.
constexpr size_t kMaxTableSize = 65536;

// A lookup table for one Shannon-Fano tree. A first-level entry of `root_bits` bits gives a
// symbol and its code length, marks an invalid code, or points to a second-level table for
// codes longer than `root_bits`.
class DecodeTree {
 public:
  // Builds the table from code lengths (1 to 16); false when the codes collide, which only a
  // damaged description causes. May raise std::bad_alloc.
  bool Build(const uint8_t* lengths, unsigned count, unsigned root_bits) {
    root_bits_ = root_bits;
    table_.assign(size_t{1} << root_bits, Entry{});
    std::array<uint16_t, kLiteralCodes> order{};
    std::array<uint16_t, kLiteralCodes> reversed{};  // codes as read: first bit lowest
    for (unsigned i = 0; i < count; ++i) order[i] = static_cast<uint16_t>(i);
    std::stable_sort(order.begin(), order.begin() + count,
                     [&](uint16_t a, uint16_t b) { return lengths[a] < lengths[b]; });
    uint32_t code = 0, increment = 0;
    unsigned last_length = 0;
    for (unsigned i = count; i-- > 0;) {
      const unsigned symbol = order[i];
      const unsigned length = lengths[symbol];
      code += increment;
      if (length != last_length) {
        last_length = length;
        increment = uint32_t{1} << (kMaxCodeLength - length);
      }
      if (code + increment > (uint32_t{1} << kMaxCodeLength)) return false;  // over-subscribed
      reversed[symbol] = Reverse(code >> (kMaxCodeLength - length), length);
    }
    // Short codes fill the first level; then each first-level slot with longer codes gets a
    // second-level table as wide as its longest code needs.
    for (unsigned symbol = 0; symbol < count; ++symbol) {
      if (lengths[symbol] <= root_bits &&
          !Fill(0, root_bits, reversed[symbol], symbol, lengths[symbol], lengths[symbol])) {
        return false;
      }
    }
    std::array<uint8_t, 512> sub_bits{};
    for (unsigned symbol = 0; symbol < count; ++symbol) {
      if (lengths[symbol] <= root_bits) continue;
      uint8_t& bits = sub_bits[reversed[symbol] & BitReader::Mask(root_bits)];
      bits = std::max<uint8_t>(bits, static_cast<uint8_t>(lengths[symbol] - root_bits));
    }
    for (size_t slot = 0; slot < (size_t{1} << root_bits); ++slot) {
      if (sub_bits[slot] == 0) continue;
      if (table_[slot].kind != Kind::kInvalid) return false;
      if (table_.size() + (size_t{1} << sub_bits[slot]) > kMaxTableSize) return false;
      table_[slot] = {static_cast<uint16_t>(table_.size()), sub_bits[slot], Kind::kSubTable};
      table_.resize(table_.size() + (size_t{1} << sub_bits[slot]));
    }
    for (unsigned symbol = 0; symbol < count; ++symbol) {
      const unsigned length = lengths[symbol];
      if (length <= root_bits) continue;
      const Entry& link = table_[reversed[symbol] & BitReader::Mask(root_bits)];
      if (!Fill(link.value, link.bits, reversed[symbol] >> root_bits, symbol, length - root_bits,
                length)) {
        return false;
      }
    }
    return true;
  }

  // Decodes one symbol; -1 for a code that the tree does not hold.
  int Decode(BitReader& reader) const {
    reader.Need(kMaxCodeLength);
    Entry entry = table_[reader.Peek(root_bits_)];
    if (entry.kind == Kind::kSubTable) {
      entry = table_[entry.value + (reader.Peek(root_bits_ + entry.bits) >> root_bits_)];
    }
    if (entry.kind != Kind::kSymbol) return -1;
    reader.Drop(entry.bits);
    return entry.value;
  }

 private:
  enum class Kind : uint8_t { kInvalid, kSymbol, kSubTable };
  struct Entry {
    uint16_t value = 0;  // the symbol, or the start of a second-level table
    uint8_t bits = 0;    // the code length, or the second-level table's index width
    Kind kind = Kind::kInvalid;
  };

  static uint16_t Reverse(uint32_t code, unsigned length) {
    uint32_t out = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) out = (out << 1) | (code & 1);
    return static_cast<uint16_t>(out);
  }

  // Enters `symbol` in the table of `width` index bits at `start` for every index whose low
  // `used` bits are `code`; false when one of those entries is taken.
  bool Fill(size_t start, unsigned width, uint32_t code, unsigned symbol, unsigned used,
            unsigned length) {
    for (size_t high = 0; high < (size_t{1} << (width - used)); ++high) {
      Entry& entry = table_[start + (code | (high << used))];
      if (entry.kind != Kind::kInvalid) return false;
      entry = {static_cast<uint16_t>(symbol), static_cast<uint8_t>(length), Kind::kSymbol};
    }
    return true;
  }

  std::vector<Entry> table_;
  unsigned root_bits_ = 0;
};

// Reads one tree description of `count` code lengths; false when the data ends or the
// lengths do not add up to exactly `count`.
bool ReadLengths(EntryIo& io, uint8_t* lengths, unsigned count) {
  const std::optional<uint8_t> size = io.NextInputByte();
  if (!size) return false;
  unsigned filled = 0;
  for (unsigned i = 0; i <= *size; ++i) {
    const std::optional<uint8_t> item = io.NextInputByte();
    if (!item) return false;
    const unsigned length = (*item & 0x0F) + 1;
    const unsigned repeat = (*item >> 4) + 1;
    if (filled + repeat > count) return false;
    std::fill(lengths + filled, lengths + filled + repeat, static_cast<uint8_t>(length));
    filled += repeat;
  }
  return filled == count;
}

bool ReadTree(EntryIo& io, DecodeTree& tree, unsigned count, unsigned root_bits) {
  std::array<uint8_t, kLiteralCodes> lengths{};
  return ReadLengths(io, lengths.data(), count) && tree.Build(lengths.data(), count, root_bits);
}

class Exploder {
 public:
  Exploder(EntryIo& io, uint16_t flags)
      : io_(io),
        reader_(io),
        literal_tree_((flags & kFlagLiteralTree) != 0),
        low_distance_bits_((flags & kFlag8KDictionary) != 0 ? 7 : 6),
        min_match_(literal_tree_ ? 3 : 2) {}

  bool ReadTrees(uint64_t compressed_size) {
    const unsigned distance_root =
        compressed_size > kLargeEntry ? kLargeDistanceRootBits : kDistanceRootBits;
    return (!literal_tree_ || ReadTree(io_, literals_, kLiteralCodes, kLiteralRootBits)) &&
           ReadTree(io_, lengths_, kLengthCodes, kLengthRootBits) &&
           ReadTree(io_, distances_, kDistanceCodes, distance_root);
  }

  void Decode(uint64_t uncompressed_size) {
    SlidingWindow window(io_, io_.WindowBuffer(), kWindowSize);
    uint64_t produced = 0;
    while (produced < uncompressed_size) {
      reader_.Need(1 + kLongLengthBits);
      const bool literal = reader_.Peek(1) != 0;
      reader_.Drop(1);
      if (literal) {
        int byte = 0;
        if (literal_tree_) {
          byte = literals_.Decode(reader_);
        } else {
          byte = static_cast<int>(reader_.Peek(8));
          reader_.Drop(8);
        }
        if (byte < 0 || reader_.Exhausted()) break;
        window.Put(static_cast<uint8_t>(byte));
        ++produced;
        continue;
      }
      reader_.Need(low_distance_bits_);
      const uint32_t low = reader_.Peek(low_distance_bits_);
      reader_.Drop(low_distance_bits_);
      const int high = distances_.Decode(reader_);
      if (high < 0) break;
      const int code = lengths_.Decode(reader_);
      if (code < 0) break;
      size_t length = static_cast<size_t>(code) + min_match_;
      if (code == kLongLengthCode) {
        reader_.Need(kLongLengthBits);
        length += reader_.Peek(kLongLengthBits);
        reader_.Drop(kLongLengthBits);
      }
      if (reader_.Exhausted()) break;
      const size_t distance = (static_cast<size_t>(high) << low_distance_bits_) + low + 1;
      if (!window.Copy(distance, length)) break;
      produced += length;
    }
    window.Finish();
  }

 private:
  EntryIo& io_;
  BitReader reader_;
  const bool literal_tree_;
  const unsigned low_distance_bits_;
  const unsigned min_match_;
  DecodeTree literals_, lengths_, distances_;
};

}  // namespace

ExplodeResult ExplodeEntry(EntryIo& io, uint16_t flags, uint64_t compressed_size,
                           uint64_t uncompressed_size) {
  Exploder exploder(io, flags);
  try {
    if (!exploder.ReadTrees(compressed_size)) return ExplodeResult::kDone;
  } catch (const std::bad_alloc&) {
    return ExplodeResult::kOutOfMemory;  // the trees built so far go with the exploder
  }
  exploder.Decode(uncompressed_size);
  return ExplodeResult::kDone;
}

}  // namespace klv::zip
