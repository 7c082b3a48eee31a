#include "common/text.h"

#include <gtest/gtest.h>

#include "common/codepage.h"
#include "common/command_line.h"

namespace klv {
namespace {

TEST(CompareTextIgnoreCase, FoldsLettersOfTheCommonScripts) {
  EXPECT_TRUE(SameTextIgnoreCase("App.EXE", "app.exe"));
  EXPECT_TRUE(
      SameTextIgnoreCase("M\xC3\x9C"
                         "LLER",
                         "m\xC3\xBCller"));  // Ü ü
  EXPECT_TRUE(
      SameTextIgnoreCase("\xC5\xA0"
                         "kola",
                         "\xC5\xA1"
                         "KOLA"));                                          // Š š
  EXPECT_TRUE(SameTextIgnoreCase("\xD0\x9F\xD0\xB5", "\xD0\xBF\xD0\x95"));  // Пе пЕ
  EXPECT_FALSE(SameTextIgnoreCase("a", "b"));
  EXPECT_LT(CompareTextIgnoreCase("a", "B"), 0);
  EXPECT_GT(CompareTextIgnoreCase("ab", "A"), 0);
  EXPECT_LT(CompareTextIgnoreCase("", "a"), 0);
}

TEST(IsBlank, OnlyBlanksAndControlCharacters) {
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank(" \t\r\r\n"));
  EXPECT_FALSE(IsBlank(" x "));
  EXPECT_FALSE(IsBlank("\xC3\xBC"));
}

TEST(ExtractFileBaseName, NamePartWithoutExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Program Files\\Velmora\\KLV_UPD.EXE", "KLV_UPD"},
      {"a.b.zip", "a.b"},
      {"noext", "noext"},
      {"C:x.txt", "x"},
      {"dir/sub.d/file", "dir/sub"},  // "/" is no separator
      {"C:\\dir.d\\file", "file"},
      {"", ""},
  };
  for (const auto& [path, base] : cases) EXPECT_EQ(ExtractFileBaseName(path), base) << path;
}

TEST(HasUpdateSwitch, PrefixAndWholeWordInAnyCase) {
  const std::pair<std::vector<std::string>, bool> cases[] = {
      {{}, false},         {{"/update"}, true},   {{"-UPDATE"}, true},    {{"x", "/Update"}, true},
      {{"update"}, false}, {{"/updates"}, false}, {{"/update:1"}, false}, {{"/update=1"}, false},
      {{"/"}, false},
  };
  for (const auto& [parameters, expected] : cases) {
    EXPECT_EQ(HasUpdateSwitch(parameters), expected)
        << (parameters.empty() ? "(none)" : parameters.back());
  }
}

TEST(CodePages, EveryByteRoundTrips) {
  for (const CodePage cp : {CodePage::kAnsi1252, CodePage::kOem850}) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(all, cp), cp), all);
  }
}

TEST(CodePages, KnownCharactersAndSubstitution) {
  EXPECT_EQ(CodePageToUtf8("\x80\xFC", CodePage::kAnsi1252), "\xE2\x82\xAC\xC3\xBC");  // € ü
  EXPECT_EQ(CodePageToUtf8("\x81\x9A", CodePage::kOem850), "\xC3\xBC\xC3\x9C");        // ü Ü
  EXPECT_EQ(Utf8ToCodePage("a\xD0\x96"
                           "b",
                           CodePage::kAnsi1252),
            "a?b");                                             // Ж is not in 1252
  EXPECT_EQ(Utf8ToCodePage("\xFF", CodePage::kAnsi1252), "?");  // invalid UTF-8
}

TEST(CodePages, Utf16WithSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(std::string("A\0\x3D\xD8\x00\xDE", 6), false), "A\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::string("\0A", 2), true), "A");
  EXPECT_EQ(Utf16ToUtf8(std::string("\x3D\xD8", 2), false), "\xEF\xBF\xBD");  // unpaired
}

}  // namespace
}  // namespace klv
