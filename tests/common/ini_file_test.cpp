#include "common/ini_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace klv {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::string path_ = dir_.File("KLV.SYS");
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  IniFile missing(path_);
  EXPECT_EQ(missing.ReadString("Proxy", "Server", "none"), "none");
  EXPECT_EQ(missing.ReadInteger("Proxy", "Port", 7), 7);
  EXPECT_FALSE(missing.ValueExists("Velmora", "Port85"));

  dir_.Write("KLV.SYS", "[Other]\r\nServer=x\r\n");
  IniFile without_section(path_);
  EXPECT_EQ(without_section.ReadString("Proxy", "Server", ""), "");
  EXPECT_EQ(without_section.ReadInteger("Proxy", "Port", 0), 0);
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  dir_.Write("KLV.SYS", "[proxy]\r\nSERVER = proxy.example:1 \r\nport=0x1F90\r\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("Proxy", "Server", ""), "proxy.example:1");
  EXPECT_EQ(ini.ReadInteger("PROXY", "Port", 0), 8080);
}

TEST_F(IniFileTest, IntegerValues) {
  struct Case {
    const char* stored;
    int32_t expected;
  };
  const Case cases[] = {{"0x1F90", 8080}, {"80a", 0},    {"8080", 8080}, {"-3", -3},
                        {"0x", 0},        {"", 0},       {"0xZZ", 0},    {"99999999999", 0},
                        {"1", 1},         {"\"12\"", 12}};
  for (const Case& c : cases) {
    dir_.Write("KLV.SYS", std::string("[Proxy]\nPort=") + c.stored + "\n");
    EXPECT_EQ(IniFile(path_).ReadInteger("Proxy", "Port", 0), c.expected) << c.stored;
  }
}

TEST_F(IniFileTest, FirstSectionAndKeyWin) {
  dir_.Write("KLV.SYS", "[A]\nk=1\nk=2\n[A]\nk=3\nj=4\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
  EXPECT_EQ(ini.ReadString("A", "j", "none"), "none");
}

TEST_F(IniFileTest, LongValuesAreCutAt2047Characters) {
  dir_.Write("KLV.SYS", "[Proxy]\nServer=" + std::string(5000, 'p') + "\n");
  EXPECT_EQ(IniFile(path_).ReadString("Proxy", "Server", "").size(), 2047u);
}

TEST_F(IniFileTest, WritingAKeyKeepsEveryOtherLine) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"missing file", "", "[Velmora]\r\nPort85=1\r\n"},
      {"other section only, no final line end", "[Proxy]\nServer=a ; note",
       "[Proxy]\nServer=a ; note\r\n[Velmora]\r\nPort85=1\r\n"},
      {"section exists, key added after its last line",
       "; top\n[velmora]\nName=x\n\n[Proxy]\nPort=1\n",
       "; top\n[velmora]\nName=x\nPort85=1\r\n\n[Proxy]\nPort=1\n"},
      {"key replaced in place", "[Velmora]\r\nport85 = 0\r\nB=2\r\n",
       "[Velmora]\r\nPort85=1\r\nB=2\r\n"},
      {"Windows-1252 bytes survive", "[A]\r\nName=M\xFCller\x80\r\n",
       "[A]\r\nName=M\xFCller\x80\r\n[Velmora]\r\nPort85=1\r\n"},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    const std::string path = dir.File("KLV.SYS");
    if (!c.before.empty()) dir.Write("KLV.SYS", c.before);
    IniFile(path).WriteBool("Velmora", "Port85", true);
    EXPECT_EQ(dir.Read("KLV.SYS"), c.after) << c.name;
    EXPECT_TRUE(IniFile(path).ReadBool("Velmora", "Port85", false)) << c.name;
  }
}

TEST_F(IniFileTest, Utf8FileWithByteOrderMarkIsReadAndKeptInUtf8) {
  dir_.Write("KLV.SYS", "\xEF\xBB\xBF[Proxy]\r\nServer=M\xC3\xBCller\r\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("Proxy", "Server", ""), "M\xC3\xBCller");
  ini.WriteString("Proxy", "Port", "8080");
  EXPECT_EQ(dir_.Read("KLV.SYS"), "\xEF\xBB\xBF[Proxy]\r\nServer=M\xC3\xBCller\r\nPort=8080\r\n");
}

TEST_F(IniFileTest, WriteIntoAnUnwritableFolderFailsWithASystemError) {
  IniFile ini("/nonexistent-folder/KLV.SYS");
  try {
    ini.WriteBool("Velmora", "Port85", true);
    FAIL() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("System Error.  Code: ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace klv
