#include "update/name_value_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace klv {
namespace {

std::vector<std::string> Parse(const std::string& bytes) {
  NameValueList list;
  list.SetText(bytes);
  return list.Lines();
}

TEST(NameValueList, ReadsEveryLineEndAndEncoding) {
  using Lines = std::vector<std::string>;
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"a=1\r\nb=2\r\n", {"a=1", "b=2"}},
      {"a=1\nb=2\rc=3", {"a=1", "b=2", "c=3"}},  // LF, CR, and a last line without an end
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {std::string("a=1\r\nb=2\0c=3\r\n", 14), {"a=1", "b=2"}},  // NUL ends the text
      {"M\xFC=1\r\n", {"M\xC3\xBC=1"}},                          // Windows-1252
      {"\xEF\xBB\xBFM\xC3\xBC=1\r\n", {"M\xC3\xBC=1"}},          // UTF-8 with mark
      {std::string("\xFF\xFE"
                   "a\0=\0\xFC\0\r\0\n\0",
                   12),
       {"a=\xC3\xBC"}},                                // UTF-16 LE
      {std::string("\xFE\xFF\0a\0=\0b", 8), {"a=b"}},  // UTF-16 BE
  };
  for (const auto& [bytes, lines] : cases) EXPECT_EQ(Parse(bytes), lines) << bytes;
}

TEST(NameValueList, WritesWindows1252WithCrLfAfterEveryLine) {
  NameValueList list;
  list.Add("KLV.EXE=6.14.0.0");
  list.Add("M\xC3\xBCller=\xE2\x82\xAC");
  list.Add("Ж=x");
  list.Add("");
  EXPECT_EQ(list.Text(), "KLV.EXE=6.14.0.0\r\nM\xFCller=\x80\r\n?=x\r\n\r\n");
  EXPECT_EQ(NameValueList().Text(), "");
}

TEST(NameValueList, FileRoundTripsByteForByte) {
  testing::TempDir dir;
  const std::string bytes = "$(System32)\\x.dll=1.0.0.0\r\nKLV.EXE=6.14.0.0\r\nabc\r\n=1.0\r\n\r\n";
  dir.Write("update.file", bytes);
  NameValueList list;
  list.LoadFromFile(dir.File("update.file"));
  list.SaveToFile(dir.File("update.file"));
  EXPECT_EQ(dir.Read("update.file"), bytes);
}

TEST(NameValueList, NamesValuesAndLookup) {
  NameValueList list;
  list.SetText("abc\r\nApp.EXE=1=2\r\n b =x\r\napp.exe=second\r\n=1.0\r\n");
  EXPECT_EQ(list.Name(0), "");
  EXPECT_EQ(list.Value(0), "");
  EXPECT_EQ(list.Name(1), "App.EXE");
  EXPECT_EQ(list.Value(1), "1=2");             // the first "=" separates
  EXPECT_EQ(list.IndexOfName("APP.exe"), 1u);  // the first match in file order
  EXPECT_EQ(list.IndexOfName(" b "), 2u);      // blanks belong to the name
  EXPECT_EQ(list.IndexOfName("b"), std::nullopt);
  EXPECT_EQ(list.IndexOfName("abc"), std::nullopt);  // a line without "=" is never found
  EXPECT_EQ(list.IndexOfName(""), 4u);
}

TEST(NameValueList, SortsWholeLinesWithoutRegardToCase) {
  NameValueList list;
  list.SetText("b=1\r\nA=2\r\na=1\r\nC=0\r\n");
  list.Sort();
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.Line(0), "a=1");
  EXPECT_EQ(list.Line(1), "A=2");
  EXPECT_EQ(list.Line(2), "b=1");
  EXPECT_EQ(list.Line(3), "C=0");
}

TEST(NameValueList, SaveLeavesNoTemporaryFileBehind) {
  testing::TempDir dir;
  NameValueList list;
  list.Add("a=1");
  list.SaveToFile(dir.File("update.list"));
  list.SaveToFile(dir.File("update.list"));
  EXPECT_EQ(dir.Read("update.list"), "a=1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_THROW(list.SaveToFile(dir.File("missing/update.list")), std::exception);
  EXPECT_THROW(list.LoadFromFile(dir.File("nothing")), std::exception);
}

}  // namespace
}  // namespace klv
