// Unshrink (method 1) on fixtures made by the test encoder and by code streams written code
// by code. Every fixture that should decode is first given to Info-ZIP unzip, the
// independent decoder, which must agree, before our extraction is compared with it.
#include <gtest/gtest.h>

#include <random>

#include "tests/zip/legacy_encoders.h"
#include "tests/zip/legacy_test_support.h"

namespace klv::zip {
namespace {

using klv::testing::ExtractBytes;
using klv::testing::LegacyOutcome;
using klv::testing::LegacyZip;
using klv::testing::ShrinkCodeWriter;

constexpr uint16_t kShrunk = 1;

// Text over a small alphabet: long enough inputs fill the code table.
std::string Words(size_t n, unsigned seed) {
  static const char* const kWords[] = {"tooth ", "crown ",     "molar ",   "recall ", "bridge ",
                                       "x-ray ", "ENAMEL\r\n", "filling ", "implant "};
  std::mt19937 random(seed);
  std::string s;
  while (s.size() < n) s += kWords[random() % 9];
  s.resize(n);
  return s;
}

std::string Noise(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>("abcdefgh"[random() % 8]);
  return s;
}

struct EncoderCase {
  const char* name;
  std::string data;
  unsigned max_code_size;  // a partial clear when its codes are used up
  unsigned min_code_size;
  int min_partial_clears;
  int min_pending_codes;
};

TEST(LegacyUnshrink, EncoderFixturesDecodeAsUnzipDecodesThem) {
  REQUIRE_UNZIP();
  const EncoderCase cases[] = {
      {"one byte", "Q", 13, 9, 0, 0},
      {"short text", "The practice opens at eight; the practice closes at six.", 13, 9, 0, 0},
      {"a run of one byte (codes sent before they are known)", std::string(20000, 'a'), 13, 9, 0,
       20},
      {"text that widens the codes to 13 bits", Words(60000, 1), 13, 13, 0, 1},
      {"noise that fills all 8192 codes and clears them partly", Noise(400000, 2), 13, 13, 3, 1},
      {"partial clears of 10-bit codes, the previous code freed too", Noise(100000, 4), 10, 10, 50,
       20},
      {"binary bytes of every value", Noise(3000, 3) + std::string("\0\1\377\200", 4), 13, 9, 0, 0},
  };

  for (const EncoderCase& c : cases) {
    SCOPED_TRACE(c.name);
    klv::testing::ShrinkStats stats;
    const std::string payload = klv::testing::Shrink(c.data, &stats, c.max_code_size);
    EXPECT_GE(stats.code_size, c.min_code_size);
    EXPECT_GE(stats.partial_clears, c.min_partial_clears);
    EXPECT_GE(stats.pending_codes, c.min_pending_codes);
    const std::string zip = LegacyZip(kShrunk, c.data, payload);
    const auto oracle = klv::testing::UnzipPipe(zip);
    ASSERT_EQ(oracle.status, 0);
    ASSERT_TRUE(oracle.output == c.data) << "unzip does not accept the encoder's output";
    const LegacyOutcome outcome = ExtractBytes(zip);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(outcome.output == c.data);
  }
}

// A code stream written code by code: byte codes as characters, the control codes by name.
struct CodeCase {
  const char* name;
  std::vector<int> codes;  // kWiden, kClear, or a code
  std::string expected;    // what a decoder outputs
  bool valid;              // unzip must agree; otherwise the data is damaged
};
constexpr int kWiden = -1;
constexpr int kClear = -2;

std::string Stream(const std::vector<int>& codes) {
  ShrinkCodeWriter out;
  for (int code : codes) {
    if (code == kWiden) {
      out.Widen();
    } else if (code == kClear) {
      out.PartialClear();
    } else {
      out.Code(static_cast<uint32_t>(code));
    }
  }
  return out.bytes();
}

TEST(LegacyUnshrink, CodeStreams) {
  const CodeCase cases[] = {
      // 256 1 widens every later code to 10 bits.
      {"widen", {'a', kWiden, 'b', 257}, "abab", true},
      {"widen twice", {'a', kWiden, kWiden, 'b', 257, 'c'}, "ababc", true},
      // A code not yet defined is the previous string plus its own first byte.
      {"KwKwK", {'a', 257, 258}, "aaaaaa", true},
      // 257 "ab" stays (parent of 260 "abx"); 258 "bc", 259 "ca", 260 "abx" are freed, and
      // new codes take 258, 259, 260, 261 again.
      {"partial clear reuses the lowest freed codes",
       {'a', 'b', 'c', 257, 'x', kClear, 'y', 258, 257, 260, 261},
       "abcabxyxyabxyaabx",
       true},
      {"a control code other than 1 or 2 is passed over", {'a', 256, 7, 'b'}, "ab", true},
      // Damaged data: the output stops where the damage is; the CRC check fails the entry.
      {"code size past 13 bits", {'a', kWiden, kWiden, kWiden, kWiden, kWiden, 'b'}, "a", false},
      {"a chain of undefined codes longer than the stack", {'a', 300, 301, 'b'}, "aaa", false},
      {"a first code that is not a byte", {300, 'a'}, "", false},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string payload = Stream(c.codes);
    // Valid streams declare what they decode to; damaged ones declare more.
    const std::string zip = c.valid ? LegacyZip(kShrunk, c.expected, payload)
                                    : klv::testing::DamagedZip(kShrunk, c.expected + "!", payload);
    if (c.valid && klv::testing::HaveProgram("unzip")) {
      EXPECT_EQ(klv::testing::UnzipPipe(zip).output, c.expected) << "unzip disagrees";
    }
    const LegacyOutcome outcome = ExtractBytes(zip);
    EXPECT_EQ(outcome.output, c.expected);
    EXPECT_EQ(outcome.result, c.valid ? 1 : 0);
  }
}

TEST(LegacyUnshrink, DataThatEndsInsideACodeStopsBeforeIt) {
  const std::string payload = Stream({'a', 'b', 'c'}).substr(0, 2);  // 'a' and 7 bits of 'b'
  const LegacyOutcome outcome = ExtractBytes(klv::testing::DamagedZip(kShrunk, "abc", payload));
  EXPECT_EQ(outcome.output, "a");
  EXPECT_EQ(outcome.result, 0);
}

TEST(LegacyUnshrink, EmptyEntryOutputsNothing) {
  const LegacyOutcome outcome = ExtractBytes(LegacyZip(kShrunk, "", ""));
  EXPECT_EQ(outcome.output, "");
  EXPECT_EQ(outcome.result, 1);
}

}  // namespace
}  // namespace klv::zip
