// The real updater program, without a display: one run, the switch, the restart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/updater_program.h"

namespace klv {
namespace {

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() {
    dir_.Write("pf/Velmora/KLV.SYS", "");
    ::mkfifo(fifo_.c_str(), 0600);
  }

  // KLV.EXE as a script that reports its parameters and working folder into the FIFO.
  void InstallMainProgram() {
    const std::string script =
        dir_.Write("pf/Velmora/KLV.EXE", "#!/bin/sh\necho \"$# $1 $(pwd)/\" > '" + fifo_ + "'\n");
    ::chmod(script.c_str(), 0755);
  }

  // In a private network, so that no server on this machine answers the posts.
  testing::ProgramResult Run(const std::vector<std::string>& args) {
    return testing::RunUpdaterInPrivateNetwork(dir_.path(), "", args);
  }

  testing::TempDir dir_;
  std::string fifo_ = dir_.File("started");
};

TEST_F(StartupTest, RunWithoutServerOrPendingUpdatesEndsWithExitCodeZero) {
  const auto result = Run({});
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(result.standard_output, "");
  struct stat st;
  EXPECT_EQ(::stat((dir_.path() + "data/Velmora/update").c_str(), &st), 0)
      << "the update folder is created";
}

TEST_F(StartupTest, UpdateSwitchRestartsTheMainProgramInItsFolder) {
  InstallMainProgram();
  for (const char* parameter : {"-UPDATE", "/update"}) {
    const auto result = Run({parameter});
    EXPECT_EQ(result.exit_code, 0) << result.standard_error;
    const auto started = testing::ReadFifoLine(fifo_, 10000);
    ASSERT_TRUE(started.has_value()) << parameter << ": KLV.EXE was not started";
    EXPECT_EQ(*started, "1 /restart " + dir_.path() + "pf/Velmora/") << parameter;
  }
}

TEST_F(StartupTest, OtherParametersDoNotRestart) {
  InstallMainProgram();
  for (const char* parameter : {"update", "/updates", "/update:1"}) {
    const auto result = Run({parameter});
    EXPECT_EQ(result.exit_code, 0) << result.standard_error;
    // Had the program been started, it was started before the updater ended.
    EXPECT_EQ(testing::ReadFifoLine(fifo_, 300), std::nullopt) << parameter;
  }
}

TEST_F(StartupTest, SwitchWithoutMainProgramEndsNormally) {
  const auto result = Run({"/update"});
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
}

}  // namespace
}  // namespace klv
