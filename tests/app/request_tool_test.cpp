// klv_tool request prints the body the updater would post, byte for byte.
#include <gtest/gtest.h>

#include "platform/machine.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace klv {
namespace {

TEST(RequestTool, PrintsTheRequestBodyInWindows1252) {
  testing::TempDir dir;
  dir.Write("data/Velmora/update/update.file",
            "\xEF\xBB\xBFM\xC3\xBCller.dll=1.0\r\nKLV.EXE=6\r\n");
  const auto result = testing::RunProgram(testing::BuiltProgram("app/klv_tool"), {"request"},
                                          {{"KLV_PROGRAM_FILES", dir.path() + "pf"},
                                           {"KLV_COMMON_APPDATA", dir.path() + "data"},
                                           {"KLV_SYSTEM32", dir.path() + "sys"}});
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(result.standard_output,
            "<klv source=\"klv_upd\" computer=\"" + platform::GetLocalComputerName() +
                "\" domain=\"" + platform::GetLocalDomainName() +
                "\"><files><file name=\"M\xFCller.dll\" version=\"0.0.0.0\"/>"
                "<file name=\"KLV.EXE\" version=\"0.0.0.0\"/></files></klv>\r\n");
}

}  // namespace
}  // namespace klv
