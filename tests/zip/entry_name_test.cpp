#include "zip/entry_name.h"

#include <gtest/gtest.h>

namespace klv::zip {
namespace {

struct NameCase {
  const char* what;
  std::string raw;
  uint16_t flags;
  uint16_t made_by;
  TOemConvert convert;
  std::string expected;
};

class EntryNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameTest, Decodes) {
  const NameCase& c = GetParam();
  EXPECT_EQ(DecodeEntryName(c.raw, c.flags, c.made_by, c.convert), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameTest,
    ::testing::Values(NameCase{"ascii with slashes", "dir/sub/a.txt", 0, 20,
                               TOemConvert::OemFlexible, "dir\\sub\\a.txt"},
                      // OEM 850: 0x81 u-umlaut, 0x84 a-umlaut, 0xE1 sharp s; all in ANSI 1252 too.
                      NameCase{"oem letters", "\x81\x84\xE1.txt", 0, 20, TOemConvert::OemFlexible,
                               "\xC3\xBC\xC3\xA4\xC3\x9F.txt"},
                      // 0xC3 0xA9 is UTF-8 e-acute; as OEM 850 it holds a box-drawing character
                      // that ANSI lacks, so the round trip fails and the bytes are read as UTF-8.
                      NameCase{"utf-8 without flag", "caf\xC3\xA9", 0, 20, TOemConvert::OemFlexible,
                               "caf\xC3\xA9"},
                      NameCase{"utf-8 flag", "\xD0\x9F\xD1\x80.txt", 0x0800, 20,
                               TOemConvert::OemFlexible, "\xD0\x9F\xD1\x80.txt"},
                      NameCase{"host 11 keeps bytes", "\x81.txt", 0, 0x0B14,
                               TOemConvert::OemFlexible, "\xEF\xBF\xBD.txt"},
                      NameCase{"oem never", "\x81.txt", 0, 20, TOemConvert::OemNever,
                               "\xEF\xBF\xBD.txt"},
                      NameCase{"invalid utf-8 replaced", "a\xFF", 0x0800, 20,
                               TOemConvert::OemFlexible, "a\xEF\xBF\xBD"}));

struct SplitCase {
  std::string path, directory, file_name;
};

TEST(SplitEntryPath, SplitsAtTheLastSeparator) {
  const SplitCase cases[] = {
      {"a.txt", "", "a.txt"},
      {"dir\\a.txt", "dir\\", "a.txt"},
      {"dir\\sub\\", "dir\\sub\\", ""},
      {"C:a.txt", "C:\\", "a.txt"},
      {"dir\\\\a.txt", "dir\\", "a.txt"},
  };
  for (const SplitCase& c : cases) {
    std::string directory, file_name;
    SplitEntryPath(c.path, directory, file_name);
    EXPECT_EQ(directory, c.directory) << c.path;
    EXPECT_EQ(file_name, c.file_name) << c.path;
  }
}

}  // namespace
}  // namespace klv::zip
