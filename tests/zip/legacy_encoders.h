// Small encoders for the legacy zip methods, for fixtures that no external archive holds:
// shrink (LZW with explicit widening and partial clears, and the "KwKwK" code), implode
// (chosen tree shapes, either dictionary, with or without the literal tree, matches that
// reach before the data) and a token writer for reduce. Their output is checked against
// Info-ZIP unzip in the tests before it is trusted (reduce excepted: no decoder on this
// machine reads it, so its streams are written token by token and kept small).
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace klv::testing {

// Bits written least significant first, as the legacy methods read them.
class BitWriter {
 public:
  void Put(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (used_ == 0) out_ += '\0';
      if ((value >> i) & 1) out_.back() = static_cast<char>(out_.back() | (1 << used_));
      used_ = (used_ + 1) % 8;
    }
  }
  void PutByte(uint8_t byte) {
    used_ = 0;
    out_ += static_cast<char>(byte);
  }
  const std::string& bytes() const { return out_; }

 private:
  std::string out_;
  unsigned used_ = 0;  // bits used in the last byte; 0: start a new one
};

// ---- Shrink ----------------------------------------------------------------------------

// A shrink code stream written code by code, following the code size the stream sets.
class ShrinkCodeWriter {
 public:
  void Code(uint32_t code) { bits_.Put(code, size_); }
  void Widen() {
    Code(256);
    Code(1);
    ++size_;
  }
  void PartialClear() {
    Code(256);
    Code(2);
  }
  unsigned size() const { return size_; }
  const std::string& bytes() const { return bits_.bytes(); }

 private:
  BitWriter bits_;
  unsigned size_ = 9;
};

struct ShrinkStats {
  unsigned code_size = 9;  // at the end
  int partial_clears = 0;
  int pending_codes = 0;  // codes sent before the decoder has them (KwKwK)
};

// LZW as method 1 stores it. The encoder keeps the decoder's own table (a new code is the
// previous code plus the first byte of the current one, entered when the current one is
// sent) and widens before the first code that needs another bit. As PKZIP 1.x does, it
// sends a partial clear as soon as the codes of `max_code_size` bits are used up, even when
// the clear frees the previous code: the code entered next then hangs from a freed number,
// and the encoder never sends it (nor builds on it).
inline std::string Shrink(std::string_view data, ShrinkStats* stats = nullptr,
                          unsigned max_code_size = 13) {
  ShrinkStats local;
  ShrinkStats& st = stats ? *stats : local;
  constexpr uint32_t kMax = 8192;
  const uint32_t limit = 1u << max_code_size;
  std::vector<int32_t> parent(kMax, -1);
  std::vector<uint8_t> last(kMax, 0);
  for (uint32_t c = 0; c < 256; ++c) last[c] = static_cast<uint8_t>(c);
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> dict;
  const auto is_free = [&](int64_t c) { return c >= 256 && parent[c] == -1; };
  uint32_t next_free = 257;
  ShrinkCodeWriter out;
  int64_t previous = -1;
  size_t pos = 0;
  while (pos < data.size()) {
    // Longest string in the table, then the code about to be entered (KwKwK).
    uint32_t code = static_cast<uint8_t>(data[pos]);
    size_t matched = 1;
    while (pos + matched < data.size()) {
      auto it = dict.find({code, static_cast<uint8_t>(data[pos + matched])});
      if (it == dict.end()) break;
      code = it->second;
      ++matched;
    }
    if (previous >= 0 && !is_free(previous) && next_free < limit) {
      // The pending code spells previous + its own first byte.
      std::string spelled;
      for (int64_t c = previous; c >= 0;) {
        spelled += static_cast<char>(last[c]);
        c = c >= 257 ? parent[c] : -1;
      }
      std::reverse(spelled.begin(), spelled.end());
      spelled += spelled[0];
      if (spelled.size() > matched && data.substr(pos, spelled.size()) == spelled) {
        code = next_free;
        matched = spelled.size();
        ++st.pending_codes;
      }
    }
    while (code >= (1u << out.size())) out.Widen();
    out.Code(code);
    if (previous >= 0 && next_free < kMax) {
      const bool usable = !is_free(previous);
      parent[next_free] = static_cast<int32_t>(previous);
      last[next_free] = static_cast<uint8_t>(data[pos]);
      if (usable) dict[{static_cast<uint32_t>(previous), last[next_free]}] = next_free;
      do {
        ++next_free;
      } while (next_free < kMax && parent[next_free] != -1);
    }
    previous = code;
    pos += matched;
    if (next_free >= limit && pos < data.size()) {
      out.PartialClear();
      ++st.partial_clears;
      std::vector<bool> leaf(kMax, false);
      for (uint32_t c = 257; c < next_free; ++c) leaf[c] = parent[c] != -1;
      for (uint32_t c = 257; c < next_free; ++c) {
        if (parent[c] >= 257) leaf[parent[c]] = false;
      }
      for (uint32_t c = 257; c < next_free; ++c) {
        if (!leaf[c]) continue;
        auto it = dict.find({static_cast<uint32_t>(parent[c]), last[c]});
        if (it != dict.end() && it->second == c) dict.erase(it);
        parent[c] = -1;
      }
      next_free = 257;
      while (next_free < kMax && parent[next_free] != -1) ++next_free;
    }
  }
  st.code_size = out.size();
  return out.bytes();
}

// ---- Implode ---------------------------------------------------------------------------

// Code lengths of a complete prefix code for `count` symbols: codes are split, shortest
// first, but the first `deep` splits go to the longest code, so some codes grow long (up to
// 16 bits) and reach the decoder's second-level tables.
inline std::vector<uint8_t> CompleteLengths(unsigned count, unsigned deep) {
  std::vector<uint8_t> lengths{0};
  while (lengths.size() < count) {
    auto it = deep > 0 ? std::max_element(lengths.begin(), lengths.end())
                       : std::min_element(lengths.begin(), lengths.end());
    if (deep > 0) --deep;
    const uint8_t l = static_cast<uint8_t>(*it + 1);
    *it = l;
    lengths.push_back(l);
  }
  return lengths;
}

// Codes as the application note assigns them, returned bit-reversed (ready for BitWriter).
inline std::vector<uint32_t> ShannonFanoCodes(const std::vector<uint8_t>& lengths) {
  std::vector<unsigned> order(lengths.size());
  for (unsigned i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](unsigned a, unsigned b) { return lengths[a] < lengths[b]; });
  std::vector<uint32_t> codes(lengths.size());
  uint32_t code = 0, increment = 0, last_length = 0;
  for (size_t i = order.size(); i-- > 0;) {
    const unsigned l = lengths[order[i]];
    code += increment;
    if (l != last_length) {
      last_length = l;
      increment = 1u << (16 - l);
    }
    uint32_t msb_first = code >> (16 - l), reversed = 0;
    for (unsigned b = 0; b < l; ++b) reversed |= ((msb_first >> (l - 1 - b)) & 1) << b;
    codes[order[i]] = reversed;
  }
  return codes;
}

// A tree description: a count byte, then (repeat - 1, length - 1) nibble pairs.
inline std::string TreeDescription(const std::vector<uint8_t>& lengths) {
  std::string items;
  for (size_t i = 0; i < lengths.size();) {
    size_t run = 1;
    while (i + run < lengths.size() && lengths[i + run] == lengths[i] && run < 16) ++run;
    items += static_cast<char>(((run - 1) << 4) | (lengths[i] - 1));
    i += run;
  }
  return std::string(1, static_cast<char>(items.size() - 1)) + items;
}

struct ImplodeOptions {
  bool dictionary_8k = false;
  bool literal_tree = false;
  bool zero_history = false;  // let matches reach zeros before the data, as decoders assume
  unsigned deep = 0;          // long codes in the trees (see CompleteLengths)
};

// The general-purpose flags an imploded entry declares for these options.
inline uint16_t ImplodeFlags(const ImplodeOptions& o) {
  return static_cast<uint16_t>((o.dictionary_8k ? 2 : 0) | (o.literal_tree ? 4 : 0));
}

// One step of an imploded stream: a literal byte, or a copy (length 0: a literal).
struct ImplodeToken {
  uint8_t literal = 0;
  size_t length = 0;
  size_t distance = 0;
};

// The stream for `tokens`: the tree descriptions, then each token coded through the trees.
inline std::string ImplodeTokens(const std::vector<ImplodeToken>& tokens, const ImplodeOptions& o) {
  const std::vector<uint8_t> literal_lengths = CompleteLengths(256, o.deep);
  const std::vector<uint8_t> length_lengths = CompleteLengths(64, o.deep);
  const std::vector<uint8_t> distance_lengths = CompleteLengths(64, o.deep / 2);
  const auto literal_codes = ShannonFanoCodes(literal_lengths);
  const auto length_codes = ShannonFanoCodes(length_lengths);
  const auto distance_codes = ShannonFanoCodes(distance_lengths);
  const unsigned low_bits = o.dictionary_8k ? 7 : 6;
  const size_t min_match = o.literal_tree ? 3 : 2;
  BitWriter out;
  if (o.literal_tree) {
    for (char c : TreeDescription(literal_lengths)) out.PutByte(static_cast<uint8_t>(c));
  }
  for (char c : TreeDescription(length_lengths)) out.PutByte(static_cast<uint8_t>(c));
  for (char c : TreeDescription(distance_lengths)) out.PutByte(static_cast<uint8_t>(c));
  for (const ImplodeToken& t : tokens) {
    if (t.length == 0) {
      out.Put(1, 1);
      if (o.literal_tree) {
        out.Put(literal_codes[t.literal], literal_lengths[t.literal]);
      } else {
        out.Put(t.literal, 8);
      }
      continue;
    }
    const size_t d = t.distance - 1;
    out.Put(0, 1);
    out.Put(static_cast<uint32_t>(d & ((1u << low_bits) - 1)), low_bits);
    const size_t high = d >> low_bits;
    out.Put(distance_codes[high], distance_lengths[high]);
    const size_t code = std::min<size_t>(t.length - min_match, 63);
    out.Put(length_codes[code], length_lengths[code]);
    if (code == 63) out.Put(static_cast<uint32_t>(t.length - min_match - 63), 8);
  }
  return out.bytes();
}

// Greedy matching over a hash of the next min-match bytes.
inline std::vector<ImplodeToken> ImplodeTokensOf(std::string_view data, const ImplodeOptions& o) {
  const size_t window = o.dictionary_8k ? 8192 : 4096;
  const size_t min_match = o.literal_tree ? 3 : 2;
  const size_t max_match = min_match + 63 + 255;
  const size_t start = o.zero_history ? window : 0;
  const std::string text = std::string(start, '\0') + std::string(data);
  std::map<std::string, std::vector<size_t>> seen;  // min_match-byte prefix -> positions
  const auto remember = [&](size_t p) {
    if (p + min_match <= text.size()) seen[text.substr(p, min_match)].push_back(p);
  };
  for (size_t p = 0; p < start; ++p) remember(p);
  std::vector<ImplodeToken> tokens;
  size_t pos = start;
  while (pos < text.size()) {
    size_t best_length = 0, best_distance = 0;
    auto it = pos + min_match <= text.size() ? seen.find(text.substr(pos, min_match)) : seen.end();
    if (it != seen.end()) {
      int tries = 0;
      for (auto p = it->second.rbegin(); p != it->second.rend() && tries < 64; ++p, ++tries) {
        if (pos - *p > window) break;
        size_t n = 0;
        while (pos + n < text.size() && n < max_match && text[*p + n] == text[pos + n]) ++n;
        if (n > best_length) {
          best_length = n;
          best_distance = pos - *p;
        }
      }
    }
    if (best_length >= min_match) {
      tokens.push_back({0, best_length, best_distance});
      for (size_t i = 0; i < best_length; ++i) remember(pos + i);
      pos += best_length;
    } else {
      tokens.push_back({static_cast<uint8_t>(text[pos]), 0, 0});
      remember(pos);
      ++pos;
    }
  }
  return tokens;
}

inline std::string Implode(std::string_view data, const ImplodeOptions& o) {
  return ImplodeTokens(ImplodeTokensOf(data, o), o);
}

// ---- Reduce ----------------------------------------------------------------------------

// A reduce stream written token by token: follower sets first, then bytes coded against the
// set of the byte before (an index when the byte is in the set, else a 1 bit and 8 bits).
class ReduceWriter {
 public:
  // `sets[v]` lists the followers of byte v (at most 63); missing sets are empty.
  explicit ReduceWriter(std::map<uint8_t, std::string> sets = {}) : sets_(std::move(sets)) {
    for (int v = 255; v >= 0; --v) {
      const std::string& set = sets_[static_cast<uint8_t>(v)];
      bits_.Put(static_cast<uint32_t>(set.size()), 6);
      for (char c : set) bits_.Put(static_cast<uint8_t>(c), 8);
    }
  }
  // One decoded byte, as the state machine will see it.
  void Byte(uint8_t b) {
    const std::string& set = sets_[last_];
    const size_t at = set.find(static_cast<char>(b));
    if (!set.empty() && at != std::string::npos) {
      bits_.Put(0, 1);
      bits_.Put(static_cast<uint32_t>(at), IndexWidth(set.size()));
    } else {
      if (!set.empty()) bits_.Put(1, 1);
      bits_.Put(b, 8);
    }
    last_ = b;
  }
  // A raw index into the set of the byte before, even one outside the set (damaged data).
  void Index(uint32_t index) {
    bits_.Put(0, 1);
    bits_.Put(index, IndexWidth(sets_[last_].size()));
  }
  void Literal(uint8_t b) {
    Byte(b);
    if (b == 144) Byte(0);
  }
  // A copy of `length` (3 or more) bytes from `distance` back, for factor `f` (1 to 4).
  void Copy(unsigned f, unsigned length, unsigned distance) {
    const unsigned mask = 0xFFu >> f;  // 0x7F, 0x3F, 0x1F, 0x0F
    const unsigned l = length - 3, d = distance - 1;
    Byte(144);
    Byte(static_cast<uint8_t>(((d >> 8) << (8 - f)) | std::min(l, mask)));
    if (l >= mask) Byte(static_cast<uint8_t>(l - mask));
    Byte(static_cast<uint8_t>(d & 0xFF));
  }
  const std::string& bytes() const { return bits_.bytes(); }

 private:
  static unsigned IndexWidth(size_t n) {
    unsigned bits = 1;
    while ((1u << bits) < n) ++bits;
    return bits;
  }
  BitWriter bits_;
  std::map<uint8_t, std::string> sets_;
  uint8_t last_ = 0;
};

}  // namespace klv::testing
