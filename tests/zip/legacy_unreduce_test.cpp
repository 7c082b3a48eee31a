// Unreduce (methods 2 to 5) on streams written token by token, for each compression factor.
// No decoder on this machine reads reduced entries (Info-ZIP unzip is built without it), so
// these streams are kept small and their meaning is worked out by hand below; the decoder
// itself is checked against real PKZIP 0.80 and hwzip archives in legacy_external_test.
#include <gtest/gtest.h>

#include "tests/zip/legacy_encoders.h"
#include "tests/zip/legacy_test_support.h"

namespace klv::zip {
namespace {

using klv::testing::DamagedZip;
using klv::testing::ExtractBytes;
using klv::testing::LegacyOutcome;
using klv::testing::LegacyZip;
using klv::testing::ReduceWriter;

uint16_t MethodOf(unsigned factor) {
  return static_cast<uint16_t>(factor + 1);
}

struct Case {
  const char* name;
  void (*write)(ReduceWriter& w, unsigned factor);
  std::string (*expected)(unsigned factor);
};

void Literals(ReduceWriter& w, const std::string& s) {
  for (char c : s) w.Literal(static_cast<uint8_t>(c));
}

const Case kCases[] = {
    {"plain bytes", [](ReduceWriter& w, unsigned) { Literals(w, "Dental practice"); },
     [](unsigned) { return std::string("Dental practice"); }},
    {"144 0 is one byte 144", [](ReduceWriter& w, unsigned) { Literals(w, "a\x90z"); },
     [](unsigned) { return std::string("a\x90z"); }},
    {"a copy that overlaps itself",
     [](ReduceWriter& w, unsigned f) {
       Literals(w, "abc");
       w.Copy(f, 5, 3);
     },
     [](unsigned) { return std::string("abcabcab"); }},
    {"a copy at the start reads zeros before the data",
     [](ReduceWriter& w, unsigned f) {
       w.Copy(f, 4, 10);
       Literals(w, "x");
     },
     [](unsigned) { return std::string(4, '\0') + "x"; }},
    {"a length that needs the extra byte",
     [](ReduceWriter& w, unsigned f) {
       Literals(w, "ab");
       w.Copy(f, 200, 2);
     },
     [](unsigned) {
       std::string s;
       while (s.size() < 202) s += "ab";
       return s;
     }},
    {"the length that exactly fills the length bits",
     [](ReduceWriter& w, unsigned f) {
       Literals(w, "q");
       w.Copy(f, (0xFFu >> f) + 3, 1);  // the extra byte is 0
     },
     [](unsigned f) { return std::string((0xFFu >> f) + 4, 'q'); }},
    {"the farthest distance of the factor",
     [](ReduceWriter& w, unsigned f) {
       std::string block;
       for (unsigned i = 0; i < (256u << f); ++i) block += static_cast<char>('A' + i % 23);
       Literals(w, block);
       w.Copy(f, 3, 256u << f);
     },
     [](unsigned f) {
       std::string block;
       for (unsigned i = 0; i < (256u << f); ++i) block += static_cast<char>('A' + i % 23);
       return block + block.substr(0, 3);
     }},
};

TEST(LegacyUnreduce, TokenStreamsOfEveryFactor) {
  for (unsigned f = 1; f <= 4; ++f) {
    for (const Case& c : kCases) {
      SCOPED_TRACE("factor " + std::to_string(f) + ": " + c.name);
      ReduceWriter w;
      c.write(w, f);
      const std::string expected = c.expected(f);
      const LegacyOutcome outcome = ExtractBytes(LegacyZip(MethodOf(f), expected, w.bytes()));
      EXPECT_EQ(outcome.output, expected);
      EXPECT_EQ(outcome.result, 1);
    }
  }
}

// Bytes that follow a byte in its follower set come as an index into the set; others as a
// 1 bit and 8 raw bits. Escape and length bytes count as the byte before, too.
TEST(LegacyUnreduce, FollowerSets) {
  const std::map<uint8_t, std::string> sets = {
      {'a', "bcd"},                       // 2-bit indexes
      {0, "a"},                           // the byte before the first one is 0: 1-bit index
      {'x', std::string(63, 'y')},        // the largest set: 6-bit indexes
      {144, std::string("\x00\x05", 2)},  // after the escape
  };
  const std::string text = "abacadaeayxyxa\x90z";
  for (unsigned f = 1; f <= 4; ++f) {
    SCOPED_TRACE("factor " + std::to_string(f));
    ReduceWriter w(sets);
    Literals(w, text);
    w.Copy(f, 4, 3);
    const std::string expected = text + "a\x90za";
    const LegacyOutcome outcome = ExtractBytes(LegacyZip(MethodOf(f), expected, w.bytes()));
    EXPECT_EQ(outcome.output, expected);
    EXPECT_EQ(outcome.result, 1);
  }
}

TEST(LegacyUnreduce, DamagedDataKeepsTheOutputBeforeTheDamage) {
  // An index past the end of a 3-byte set (2 bits can say 3).
  ReduceWriter w({{'a', "bcd"}});
  Literals(w, "xa");
  w.Index(3);
  Literals(w, "zzz");
  LegacyOutcome outcome = ExtractBytes(DamagedZip(MethodOf(4), "xabzzz", w.bytes()));
  EXPECT_EQ(outcome.output, "xa");
  EXPECT_EQ(outcome.result, 0);

  // Data cut short: the bytes decoded before the cut remain.
  ReduceWriter cut;
  Literals(cut, "0123456789");
  const std::string payload = cut.bytes().substr(0, cut.bytes().size() - 3);
  outcome = ExtractBytes(DamagedZip(MethodOf(2), "0123456789", payload));
  EXPECT_EQ(outcome.output, "0123456");
  EXPECT_EQ(outcome.result, 0);

  // Follower sets cut short: nothing is output.
  outcome = ExtractBytes(DamagedZip(MethodOf(3), "abc", std::string(50, '\0')));
  EXPECT_EQ(outcome.output, "");
  EXPECT_EQ(outcome.result, 0);
}

}  // namespace
}  // namespace klv::zip
