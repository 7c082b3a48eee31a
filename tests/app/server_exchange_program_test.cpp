// The real klv_upd against the stand-in update server on ports 85 and 80, each run in a
// private network namespace.
#include <gtest/gtest.h>

#include "common/ini_file.h"
#include "platform/file_system.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/updater_program.h"

namespace klv {
namespace {

class ServerExchangeProgramTest : public ::testing::Test {
 protected:
  ServerExchangeProgramTest() {
    dir_.Write("pf/Velmora/KLV.SYS", "");
    dir_.Write("archives/KLV_EXE", "archive bytes");
    dir_.Write("answer.xml",
               "<klv><files><file name=\"KLV.EXE\"/></files><updates>"
               "<update name=\"KLV.EXE\" version=\"6.15.0.0\" "
               "url=\"http://localhost/update/1/sus/KLV_EXE\"/>"
               "</updates></klv>");
    dir_.Write("requests.log", "");
  }

  testing::ProgramResult Run(const std::string& ports) {
    return testing::RunUpdaterInPrivateNetwork(dir_.path(), ports);
  }

  std::string Requests() { return dir_.Read("requests.log"); }
  std::string Port85() {
    return IniFile(dir_.File("pf/Velmora/KLV.SYS")).ReadString("Velmora", "Port85", "(absent)");
  }
  std::string UpdateFile(const std::string& name) {
    return dir_.Read("data/Velmora/update/" + name);
  }

  testing::TempDir dir_;
};

constexpr char kPost85[] = "POST 85 /sus Velmora|application/x-www-form-urlencoded\n";
constexpr char kPost80[] = "POST 80 /sus Velmora|application/x-www-form-urlencoded\n";

TEST_F(ServerExchangeProgramTest, FirstRunUsesPort85AndRemembersIt) {
  const auto result = Run("85,80");
  ASSERT_NE(result.exit_code, 98) << "no private network here: " << result.standard_error;
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(Requests(), std::string(kPost85) + "GET 85 /update/1/sus/KLV_EXE |\n");
  EXPECT_EQ(Port85(), "1");
  EXPECT_EQ(UpdateFile("KLV_EXE.zip"), "archive bytes");
  EXPECT_EQ(UpdateFile("update.list"), "KLV.EXE=KLV_EXE\r\n");
  EXPECT_EQ(UpdateFile("update.file"), "KLV.EXE=6.15.0.0\r\n");
  EXPECT_EQ(result.standard_error.find("Connection failed"), std::string::npos);
}

TEST_F(ServerExchangeProgramTest, Port80ServesWhenPort85IsClosedAndNothingIsRemembered) {
  const auto result = Run("80");
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(Requests(), std::string(kPost80) + "GET 80 /update/1/sus/KLV_EXE |\n");
  EXPECT_EQ(Port85(), "(absent)");
  EXPECT_EQ(UpdateFile("update.list"), "KLV.EXE=KLV_EXE\r\n");
  // The port-85 failure is shown at the end of the run although the update went on.
  EXPECT_NE(result.standard_error.find("Connection failed: "), std::string::npos)
      << result.standard_error;
}

TEST_F(ServerExchangeProgramTest, RememberedPort85IsTheOnlyPortTried) {
  dir_.Write("pf/Velmora/KLV.SYS", "[Velmora]\r\nPort85=1\r\n");
  const auto result = Run("80");
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(Requests(), "");
  EXPECT_FALSE(platform::FileExists(dir_.File("data/Velmora/update/update.list")));
}

}  // namespace
}  // namespace klv
