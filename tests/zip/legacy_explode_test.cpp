// Explode (method 6) on fixtures made by the test encoder: both dictionary sizes, with and
// without the literal tree, trees with codes longer than the first-level tables. Every
// fixture that should decode is first given to Info-ZIP unzip, the independent decoder.
// Damaged tree descriptions and codes end the decoding; the CRC check then fails the entry.
#include <gtest/gtest.h>

#include <random>

#include "tests/zip/legacy_encoders.h"
#include "tests/zip/legacy_test_support.h"

namespace klv::zip {
namespace {

using klv::testing::DamagedZip;
using klv::testing::ExtractBytes;
using klv::testing::ImplodeOptions;
using klv::testing::ImplodeToken;
using klv::testing::LegacyOutcome;
using klv::testing::LegacyZip;

constexpr uint16_t kImploded = 6;

std::string Text(size_t n, unsigned seed) {
  static const char* const kWords[] = {"patient ", "recall ",   "hygienist ",   "invoice ", "42 ",
                                       "Mrs ",     "Smith\r\n", "appointment ", "x"};
  std::mt19937 random(seed);
  std::string s;
  while (s.size() < n) s += kWords[random() % 9];
  s.resize(n);
  return s;
}

std::string Bytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random() % 7 == 0 ? random() : 'A' + random() % 3);
  return s;
}

const ImplodeOptions kVariants[] = {
    {.dictionary_8k = false, .literal_tree = false},
    {.dictionary_8k = false, .literal_tree = true},
    {.dictionary_8k = true, .literal_tree = false},
    {.dictionary_8k = true, .literal_tree = true},
};

std::string Describe(const ImplodeOptions& o) {
  return std::string(o.dictionary_8k ? "8K" : "4K") + (o.literal_tree ? " 3 trees" : " 2 trees") +
         (o.deep ? " long codes" : "") + (o.zero_history ? " zero history" : "");
}

// Checks the fixture with unzip, then extracts it.
void ExpectDecodes(const std::string& data, const std::string& payload, const ImplodeOptions& o) {
  const std::string zip = LegacyZip(kImploded, data, payload, klv::testing::ImplodeFlags(o));
  if (klv::testing::HaveProgram("unzip")) {
    const auto oracle = klv::testing::UnzipPipe(zip);
    ASSERT_EQ(oracle.status, 0);
    ASSERT_TRUE(oracle.output == data) << "unzip does not accept the encoder's output";
  }
  const LegacyOutcome outcome = ExtractBytes(zip);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_TRUE(outcome.output == data);
  EXPECT_TRUE(outcome.messages.empty());
}

TEST(LegacyExplode, EncoderFixturesOfEveryVariant) {
  REQUIRE_UNZIP();
  struct Data {
    const char* name;
    std::string bytes;
  };
  const Data inputs[] = {
      {"text", Text(40000, 1)},
      {"binary", Bytes(30000, 2)},
      {"runs longer than the longest length code", std::string(3000, 'z') + Text(100, 3)},
      {"one byte", "Q"},
  };
  for (ImplodeOptions o : kVariants) {
    for (unsigned deep : {0u, 14u}) {
      for (bool zero_history : {false, true}) {
        o.deep = deep;
        o.zero_history = zero_history;
        for (const Data& d : inputs) {
          SCOPED_TRACE(Describe(o) + ": " + d.name);
          ExpectDecodes(d.bytes, klv::testing::Implode(d.bytes, o), o);
        }
      }
    }
  }
}

// Token streams whose meaning depends on the variant: the minimum match (2 without the
// literal tree, 3 with it), the extra byte of the last length code, the low distance bits
// (6 or 7), and sources before the start of the data, which read as zeros.
TEST(LegacyExplode, TokenStreams) {
  REQUIRE_UNZIP();
  struct Case {
    const char* name;
    std::vector<ImplodeToken> tokens;
    std::string two_trees;    // output with the 2-byte minimum match
    std::string three_trees;  // output with the 3-byte minimum match
  };
  const Case cases[] = {
      {"shortest match", {{'a'}, {'b'}, {'c'}, {0, 3, 2}}, "abcbcb", "abcbcb"},
      {"length code 0 is the minimum match",
       {{'a'}, {'b'}, {0, 2, 2}},
       "abab",
       ""},  // a 2-byte match cannot be written with the literal tree
      {"the last length code adds 8 bits",
       {{'a'}, {0, 300, 1}},
       std::string(301, 'a'),
       std::string(301, 'a')},
      {"the longest match (2 trees)", {{'a'}, {0, 320, 1}}, std::string(321, 'a'), ""},
      {"the longest match (3 trees)", {{'a'}, {0, 321, 1}}, "", std::string(322, 'a')},
      {"a source before the data reads as zeros",
       {{0, 5, 100}, {'x'}},
       std::string(5, '\0') + "x",
       std::string(5, '\0') + "x"},
      {"a distance of high and low bits",
       {{'a'}, {'b'}, {0, 300, 1}, {'c'}, {0, 4, 200}},
       "ab" + std::string(300, 'b') + "c" + std::string(4, 'b'),
       "ab" + std::string(300, 'b') + "c" + std::string(4, 'b')},
  };
  for (ImplodeOptions o : kVariants) {
    for (const Case& c : cases) {
      const std::string& expected = o.literal_tree ? c.three_trees : c.two_trees;
      if (expected.empty()) continue;
      SCOPED_TRACE(Describe(o) + ": " + c.name);
      ExpectDecodes(expected, klv::testing::ImplodeTokens(c.tokens, o), o);
    }
  }
}

// Two trees, 4 KB dictionary, from tree descriptions given as bytes and the data after them.
std::string TwoTreePayload(const std::string& length_tree, const std::string& distance_tree,
                           const std::string& data) {
  return length_tree + distance_tree + data;
}

TEST(LegacyExplode, DamagedTreeDescriptionsEndTheEntryWithoutOutput) {
  // 64 lengths of 6 bits: one item "repeat 16, length 6" four times.
  const std::string good = std::string("\x03") + std::string(4, '\xF5');
  const std::string literal_a("\xC3\x00", 2);  // bit 1, then 'a' in 8 raw bits (LSB first)
  struct Case {
    const char* name;
    std::string payload;
  };
  const Case cases[] = {
      {"more lengths than codes", TwoTreePayload("\x04" + std::string(5, '\xF5'), good, literal_a)},
      {"fewer lengths than codes",
       TwoTreePayload("\x02" + std::string(3, '\xF5'), good, literal_a)},
      {"codes over-subscribed (64 codes of 1 bit)",
       TwoTreePayload(good, std::string("\x03") + std::string(4, '\xF0'), literal_a)},
      {"codes that collide (63 of 7 bits, then one of 6)",
       TwoTreePayload(std::string("\x04\xF6\xF6\xF6\xE6\x05", 6), good, literal_a)},
      {"data that ends inside a description", good.substr(0, 3)},
      {"no data at all", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LegacyOutcome outcome = ExtractBytes(DamagedZip(kImploded, "a", c.payload));
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(outcome.result, 0);
    EXPECT_TRUE(outcome.messages.empty());
  }
  // The same trees, undamaged, decode the literal.
  const LegacyOutcome control = ExtractBytes(LegacyZip(kImploded, "a", good + good + literal_a));
  EXPECT_EQ(control.output, "a");
  EXPECT_EQ(control.result, 1);
}

TEST(LegacyExplode, DamagedDataKeepsTheOutputBeforeTheDamage) {
  const ImplodeOptions o{};
  const std::string text = Text(5000, 7);
  const std::string payload = klv::testing::Implode(text, o);
  // Cut short: the decoding stops where the bits run out.
  LegacyOutcome outcome = ExtractBytes(DamagedZip(kImploded, text, payload.substr(0, 700)));
  EXPECT_EQ(outcome.result, 0);
  EXPECT_GT(outcome.output.size(), 100u);
  EXPECT_LT(outcome.output.size(), text.size());
  EXPECT_EQ(outcome.output, text.substr(0, outcome.output.size()));
  // An incomplete distance tree (64 codes of 7 bits use half the code space) and a distance
  // code outside it: the literal before it is kept.
  const std::string lengths = std::string("\x03") + std::string(4, '\xF5');
  const std::string distances = std::string("\x03") + std::string(4, '\xF6');
  klv::testing::BitWriter bits;
  bits.Put(1, 1);
  bits.Put('a', 8);
  bits.Put(0, 1);     // a match
  bits.Put(0, 6);     // low distance bits
  bits.Put(0x7F, 7);  // first bit 1: no code starts so
  bits.Put(0, 16);
  outcome = ExtractBytes(DamagedZip(kImploded, "ab", lengths + distances + bits.bytes()));
  EXPECT_EQ(outcome.output, "a");
  EXPECT_EQ(outcome.result, 0);
}

}  // namespace
}  // namespace klv::zip
