// The developer build stamp, with the debugger flag simulated and the projects folder in a
// temporary folder.
#include "common/build_stamp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"

namespace klv {
namespace {

constexpr int32_t kToday = 46000;  // 9 December 2025

class BuildStampTest : public ::testing::Test {
 protected:
  // Writes the stamp file below the projects folder and answers its path.
  std::string WriteStamp(const std::string& content) {
    return dir_.Write("KLV/Common/Compiled.inc", content);
  }

  // CheckBuildStamp for kToday; answers the boxes shown.
  std::vector<std::string> Check(bool debugger_present) {
    std::vector<std::string> boxes;
    CheckBuildStamp(debugger_present, kToday, [&](const std::string& text, uint32_t flags) {
      boxes.push_back(text + "/" + std::to_string(flags));
      return 1;
    });
    return boxes;
  }

  testing::TempDir dir_;
  testing::ScopedEnv projects_{kProjectsFolderVariable, dir_.path().c_str()};
};

TEST(DayNumberTest, CountsDaysFromTheThirtiethOfDecember1899) {
  EXPECT_EQ(DayNumber(1899, 12, 30), 0);
  EXPECT_EQ(DayNumber(1899, 12, 31), 1);
  EXPECT_EQ(DayNumber(1900, 3, 1), 61);
  EXPECT_EQ(DayNumber(2000, 1, 1), 36526);
  EXPECT_EQ(DayNumber(2025, 12, 9), kToday);
  EXPECT_GT(TodayDayNumber(), kToday);
}

TEST(BuildStampPathTest, FollowsTheProjectsFolder) {
  EXPECT_EQ(BuildStampPath("/home/dev/Projects"), "/home/dev/Projects/KLV/Common/Compiled.inc");
  EXPECT_EQ(BuildStampPath("/home/dev/Projects/"), "/home/dev/Projects/KLV/Common/Compiled.inc");
  EXPECT_EQ(BuildStampPath(""), "/KLV/Common/Compiled.inc");
}

TEST(ReadBuildStampTest, ReadsTheNumberAfterTheFirstEqualsOfTheSecondLine) {
  struct Case {
    const char* bytes;
    int32_t stamp;
  } const cases[] = {
      {"const\r\n\tCompiled = 46000;\r\n", 46000},
      {"const\n\tCompiled = 46000\n", 46000},
      {"anything\r  Compiled=  -12;", -12},
      {"const\r\n\tCompiled = 46000; \r\n", -1},  // the ";" is not last
      {"const\r\n\tCompiled = 46000;;\r\n", -1},
      {"const\r\n\tCompiled = ;\r\n", -1},
      {"const\r\n\tCompiled 46000;\r\n", -1},
      {"const\r\n\tCompiled = 99999999999;\r\n", -1},
      {"const\r\n", -1},
      {"const", -1},
      {"", -1},
      {"\xEF\xBB\xBF"
       "const\r\n\tCompiled = 46000;\r\n",
       46000},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadBuildStamp(c.bytes), c.stamp) << c.bytes;
  const std::string utf16(
      "\xFF\xFE"
      "c\0\n\0=\0"
      "4\0"
      "6\0"
      "0\0"
      "0\0"
      "0\0"
      ";\0",
      2 + 2 * 9);
  EXPECT_EQ(ReadBuildStamp(utf16), 46000);
}

TEST_F(BuildStampTest, WithoutADebuggerTheFileIsLeftAlone) {
  WriteStamp("const\r\n\tCompiled = 1;\r\n");
  EXPECT_TRUE(Check(false).empty());
  EXPECT_EQ(dir_.Read("KLV/Common/Compiled.inc"), "const\r\n\tCompiled = 1;\r\n");
}

TEST_F(BuildStampTest, TodaysStampIsLeftAloneUnderADebugger) {
  for (const char* content : {"const\r\n\tCompiled = 46000;\r\n", "x\n\tCompiled = 46000\n"}) {
    WriteStamp(content);
    EXPECT_TRUE(Check(true).empty()) << content;
    EXPECT_EQ(dir_.Read("KLV/Common/Compiled.inc"), content);
  }
}

TEST_F(BuildStampTest, OtherStampsAreRewrittenForTodayWithTheBox) {
  for (const char* content : {"const\r\n\tCompiled = 45999;\r\n", "const only", "", "\xFF\xFE",
                              "const\r\n\tCompiled = soon;\r\n"}) {
    WriteStamp(content);
    EXPECT_EQ(Check(true), std::vector<std::string>{"Compile required!/64"}) << content;
    EXPECT_EQ(dir_.Read("KLV/Common/Compiled.inc"), "const\r\n\tCompiled = 46000;\r\n");
  }
}

TEST_F(BuildStampTest, OnlyTheStartOfAHugeFileIsRead) {
  WriteStamp("const\r\n\tCompiled = 46000;\r\n" + std::string(4 * kMaxStampFileBytes, 'x'));
  EXPECT_TRUE(Check(true).empty());
}

TEST_F(BuildStampTest, MissingFileIsNoErrorAndIsNotCreated) {
  EXPECT_TRUE(Check(true).empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.File("KLV/Common/Compiled.inc")));
}

}  // namespace
}  // namespace klv
