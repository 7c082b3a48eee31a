#include "common/integer_text.h"

#include <gtest/gtest.h>

namespace klv {
namespace {

TEST(TryStrToInt, ConvertsAsThePlatformDoes) {
  struct Case {
    const char* text;
    std::optional<int32_t> expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"  7", 7},            // leading blanks skipped
      {"7 ", std::nullopt},  // a trailing blank is not
      {"+5", 5},
      {"-1", -1},
      {"$1F", 31},
      {"x10", 16},
      {"0x1F90", 8080},
      {"0X1f90", 8080},
      {"-$10", -16},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"9999999999", std::nullopt},
      {"0x80000000", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"80a", std::nullopt},
      {"1.5", std::nullopt},
      {"\t1", std::nullopt},  // only blanks are skipped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TryStrToInt(c.text), c.expected) << "text: \"" << c.text << "\"";
  }
}

TEST(StrToIntDef, InvalidTextGivesTheDefault) {
  EXPECT_EQ(StrToIntDef("80a", 3), 3);
  EXPECT_EQ(StrToIntDef("80", 3), 80);
}

}  // namespace
}  // namespace klv
