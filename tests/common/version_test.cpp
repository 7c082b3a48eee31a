#include "common/version.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <limits>
#include <string>

#include "tests/common/pe_fixture.h"
#include "tests/support/temp_dir.h"

namespace klv {

// Failure messages show versions in their text form.
[[maybe_unused]] static void PrintTo(const TVersionNumber& v, std::ostream* os) {
  *os << VersionToStr(v);
}

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(StrToVersion, EdgeCases) {
  struct Case {
    std::string text;
    TVersionNumber expected;
  };
  const Case cases[] = {
      {"1.2.3.4", {1, 2, 3, 4}},
      {"1.2", {1, 2, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
      {"1..3", {1, 0, 3, 0}},
      {"a.2", {0, 2, 0, 0}},
      {" 7.1", {7, 1, 0, 0}},
      {"7 .1", {0, 1, 0, 0}},
      {"-1.-1.-1.-1", {-1, -1, -1, -1}},
      {"9999999999.1", {0, 1, 0, 0}},
      // Beyond the table above: the integer conversion inside the fields.
      {"2147483647.-2147483648.2147483648.-2147483649", {kMax, kMin, 0, 0}},
      {"$10.x10.0x10.0X1f", {16, 16, 16, 31}},
      {"+1.  2.-$a.007", {1, 2, -10, 7}},
      {".", {0, 0, 0, 0}},
      {"....", {0, 0, 0, 0}},
      {"1.2.3.4.", {1, 2, 3, 4}},
      {"1.2.3.x", {1, 2, 3, 0}},
      {"1.2.3.4 ", {1, 2, 3, 0}},
      {"3.1.0.7\r", {3, 1, 0, 0}},
      {"65535.65535.65535.65535", {65535, 65535, 65535, 65535}},
      {std::string("1.2\0.3", 6), {1, 0, 3, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrToVersion(c.text), c.expected) << "text \"" << c.text << "\"";
  }
}

// Each field goes through the run time's integer conversion; invalid fields are 0.
TEST(StrToVersion, FieldConversion) {
  constexpr std::nullopt_t kInvalid = std::nullopt;
  struct Case {
    const char* text;
    std::optional<int32_t> expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"-0", 0},
      {"007", 7},
      {"  12", 12},
      {"+5", 5},
      {"-5", -5},
      {" -5", -5},
      {"$1F", 31},
      {"$1f", 31},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0X10", 16},
      {"-$10", -16},
      {"+0x10", 16},
      {"2147483647", kMax},
      {"-2147483648", kMin},
      {"00000000002147483647", kMax},
      {"$7FFFFFFF", kMax},
      {"-$80000000", kMin},
      // Empty or without digits.
      {"", kInvalid},
      {" ", kInvalid},
      {"+", kInvalid},
      {"-", kInvalid},
      {"$", kInvalid},
      {"x", kInvalid},
      {"0x", kInvalid},
      {"-0x", kInvalid},
      // Anything else in the text.
      {"12 ", kInvalid},
      {"1 2", kInvalid},
      {"\t5", kInvalid},
      {"- 5", kInvalid},
      {"+-5", kInvalid},
      {"$ 5", kInvalid},
      {"$$1", kInvalid},
      {"00x5", kInvalid},
      {"0x1g", kInvalid},
      {"1e3", kInvalid},
      {"1,000", kInvalid},
      {"12a", kInvalid},
      {"\xB9", kInvalid},  // superscript one in Windows-1252
      // Outside the signed 32-bit range, in either base.
      {"2147483648", kInvalid},
      {"-2147483649", kInvalid},
      {"9999999999", kInvalid},
      {"99999999999999999999999", kInvalid},
      {"$80000000", kInvalid},
      {"$FFFFFFFF", kInvalid},
      {"-$80000001", kInvalid},
      {"$100000000", kInvalid},
  };
  for (const Case& c : cases) {
    const TVersionNumber version = StrToVersion(c.text);
    EXPECT_EQ(version.Major, c.expected.value_or(0)) << "text \"" << c.text << "\"";
    EXPECT_EQ(version.Minor, 0) << "text \"" << c.text << "\"";
  }
}

TEST(VersionToStr, WritesFourDecimalFields) {
  struct Case {
    TVersionNumber version;
    const char* expected;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, "1.2.3.4"},
      {{0, 0, 0, 0}, "0.0.0.0"},
      {kMissingFileVersion, "-1.-1.-1.-1"},
      {{kMin, kMax, 0, 65535}, "-2147483648.2147483647.0.65535"},
      {{10, 200, 3000, 40000}, "10.200.3000.40000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionToStr(c.version), c.expected);
    EXPECT_EQ(StrToVersion(VersionToStr(c.version)), c.version) << c.expected;
  }
}

class GetFileVersionTest : public ::testing::Test {
 protected:
  std::string WritePe(const std::string& name, const testing::PeFixtureOptions& options) {
    return dir_.Write(name, testing::BuildPe(options).bytes);
  }
  testing::TempDir dir_;
};

TEST_F(GetFileVersionTest, MissingFileOrFolderIsMinusOne) {
  EXPECT_EQ(GetFileVersion(dir_.File("absent.dll")), kMissingFileVersion);
  EXPECT_EQ(VersionToStr(GetFileVersion(dir_.File("absent.dll"))), "-1.-1.-1.-1");
  EXPECT_EQ(GetFileVersion(dir_.path()), kMissingFileVersion);
  EXPECT_EQ(GetFileVersion(""), kMissingFileVersion);
}

TEST_F(GetFileVersionTest, FileWithoutVersionIsZero) {
  testing::PeFixtureOptions no_version;
  no_version.with_version = false;
  testing::PeFixtureOptions no_resources;
  no_resources.with_resources = false;
  const std::string files[] = {
      dir_.Write("readme.txt", "Velmora dental practice management\r\n"),
      dir_.Write("empty.exe", ""),
      dir_.Write("mz_only.exe", "MZ"),
      WritePe("no_version.exe", no_version),
      WritePe("no_resources.dll", no_resources),
  };
  for (const std::string& file : files) EXPECT_EQ(GetFileVersion(file), kNoVersion) << file;
}

TEST_F(GetFileVersionTest, PipeIsNotOpenedAndCarriesNoVersion) {
  // Opening a pipe for reading would wait for a writer that never comes.
  const std::string pipe = dir_.File("KLV.EXE");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(GetFileVersion(pipe), kNoVersion);
}

TEST_F(GetFileVersionTest, FileVersionWinsOverProductVersionAndStrings) {
  // Product version 9.8.7.6 and a "FileVersion" string of 7.7.7.7 in every fixture.
  for (const bool plus : {false, true}) {
    for (const bool dll : {false, true}) {
      testing::PeFixtureOptions options;
      options.pe32_plus = plus;
      options.dll = dll;
      const std::string name = std::string(plus ? "pe32plus" : "pe32") + (dll ? ".dll" : ".exe");
      EXPECT_EQ(GetFileVersion(WritePe(name, options)), (TVersionNumber{3, 1, 0, 7})) << name;
    }
  }
}

TEST_F(GetFileVersionTest, FieldsAreUnsigned16Bit) {
  testing::PeFixtureOptions options;
  options.file_version = {65535, 32768, 1, 0};
  EXPECT_EQ(GetFileVersion(WritePe("high.exe", options)), (TVersionNumber{65535, 32768, 1, 0}));
}

TEST_F(GetFileVersionTest, DamagedVersionResourceIsZero) {
  testing::PeFixture fixture = testing::BuildPe();
  testing::PutU32(fixture.bytes, fixture.layout.fixed_file_info, 0);  // the signature
  EXPECT_EQ(GetFileVersion(dir_.Write("damaged.exe", fixture.bytes)), kNoVersion);
  const std::string truncated = testing::BuildPe().bytes.substr(0, fixture.layout.fixed_file_info);
  EXPECT_EQ(GetFileVersion(dir_.Write("truncated.exe", truncated)), kNoVersion);
}

}  // namespace
}  // namespace klv
