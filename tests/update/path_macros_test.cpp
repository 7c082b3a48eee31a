#include "update/path_macros.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace klv {
namespace {

std::string Expand(std::string path) {
  ExpandPathMacros(path);
  return path;
}

class PathMacrosTest : public ::testing::Test {
 protected:
  testing::ScopedEnv system32_{"KLV_SYSTEM32", "/win/SysWOW64"};
  testing::ScopedEnv missing_{"KLV_NO_SUCH_VARIABLE", nullptr};
  testing::ScopedEnv program_files_{"KLV_PF", "C:\\Program Files (x86)"};
  testing::ScopedEnv temp_{"KLV_TEMP", "C:\\Temp"};
  testing::ScopedEnv data_{"KLV_DATA", "C:\\Data\\"};
  testing::ScopedEnv data2_{"KLV_DATA2", "C:\\Data\\\\"};
  testing::ScopedEnv nested_{"KLV_NESTED", "$(KLV_TEMP)\\n"};
  testing::ScopedEnv self_{"KLV_SELF", "a$(KLV_SELF)"};
  testing::ScopedEnv twice_{"KLV_TWICE", "$(KLV_TWICE)$(KLV_TWICE)"};
};

TEST_F(PathMacrosTest, ExpandsAsTheTableSays) {
  const std::pair<const char*, const char*> cases[] = {
      {"$(System32)\\x.dll", "/win/SysWOW64\\x.dll"},
      {"$(system32)\\x.dll", "/win/SysWOW64\\x.dll"},
      {"$(SYSTEM32)\\x.dll", "/win/SysWOW64\\x.dll"},
      {"$(KLV_NO_SUCH_VARIABLE)\\x.dll", "\\x.dll"},
      {"a$()b", "ab"},
      {"C:\\plain\\x.dll", "C:\\plain\\x.dll"},
      {"C:\\a)b\\x.dll", "C:\\a)b\\x.dll"},
      {"C:\\Old (2)\\$(KLV_TEMP)\\x.dll", "C:\\Old (2)\\$(KLV_TEMP)\\x.dll"},
      {"$(KLV_PF)\\$(KLV_TEMP)\\x.dll", "C:\\Program Files (x86)\\$(KLV_TEMP)\\x.dll"},
      {"$(KLV_TEMP)\\$(KLV_TEMP)", "C:\\Temp\\C:\\Temp"},
      {"$(A$(B))", ")"},
      {"$(KLV_DATA)\\x", "C:\\Data\\x"},
      {"$(KLV_DATA2)x", "C:\\Data\\x"},
      {"$(KLV_NESTED)", "C:\\Temp\\n"},  // a macro that a replacement brings in
      {"x$(KLV_TEMP", "x$(KLV_TEMP"},    // no ")" at all
      {"", ""},
  };
  for (const auto& [path, expanded] : cases) EXPECT_EQ(Expand(path), expanded) << path;
}

TEST_F(PathMacrosTest, SelfReferenceStopsAfterABoundedNumberOfPasses) {
  const std::string grown = Expand("$(KLV_SELF)");
  EXPECT_EQ(grown, std::string(kMaxMacroPasses, 'a') + "$(KLV_SELF)");
  const std::string doubled = Expand("$(KLV_TWICE)");
  EXPECT_LE(doubled.size(), kMaxExpandedLength);
  EXPECT_NE(doubled.find("$(KLV_TWICE)"), std::string::npos);
}

TEST_F(PathMacrosTest, TargetPathIsTheNativePath) {
  EXPECT_EQ(TargetPath("$(System32)\\sub\\x.dll"), "/win/SysWOW64/sub/x.dll");
}

}  // namespace
}  // namespace klv
