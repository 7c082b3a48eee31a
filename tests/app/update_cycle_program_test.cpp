// Whole update cycles of the real klv_upd: download, install, set aside, apply what is pending.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "platform/file_system.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/updater_program.h"
#include "tests/zip/zip_writer.h"

extern char** environ;

namespace klv {
namespace {

std::string OneEntryZip(const std::string& content) {
  testing::FixtureArchive archive;
  archive.entries.push_back({.name = "payload", .data = content, .method = 8});
  return testing::BuildZip(archive);
}

class UpdateCycleProgramTest : public ::testing::Test {
 protected:
  UpdateCycleProgramTest() {
    dir_.Write("pf/Velmora/KLV.SYS", "");
    dir_.Write("requests.log", "");
    platform::ForceDirectories(dir_.path() + "sys");
  }

  void Serve(const std::string& answer) { dir_.Write("answer.xml", answer); }
  void Archive(const std::string& name, const std::string& content) {
    dir_.Write("archives/" + name, OneEntryZip(content));
  }
  // Runs klv_upd once; `ports` empty: no server at all.
  testing::ProgramResult Run(const std::string& ports, std::vector<std::string> args = {}) {
    return testing::RunUpdaterInPrivateNetwork(dir_.path(), ports, args);
  }
  std::string State(const std::string& name) { return dir_.Read("data/Velmora/update/" + name); }

  testing::TempDir dir_;
};

TEST_F(UpdateCycleProgramTest, DownloadsAndInstallsEveryComponentWithoutRestarting) {
  dir_.Write("pf/Velmora/KLV.EXE", "old main program");
  ::chmod(dir_.File("pf/Velmora/KLV.EXE").c_str(), 0755);
  Archive("KLV_EXE", "new main program");
  Archive("X_DLL", "new library");
  Serve("<klv><files><file name=\"" + dir_.path() +
        "pf/Velmora/KLV.EXE\"/>"
        "<file name=\"$(System32)\\x.dll\"/></files><updates>"
        "<update name=\"" +
        dir_.path() +
        "pf/Velmora/KLV.EXE\" version=\"6.15.0.0\" "
        "url=\"http://localhost/update/1/sus/KLV_EXE\"/>"
        "<update name=\"$(System32)\\x.dll\" version=\"2.0.0.0\" "
        "url=\"http://localhost/update/2/sus/X_DLL\"/></updates></klv>");
  const auto result = Run("85,80");
  ASSERT_NE(result.exit_code, 98) << "no private network here";
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(dir_.Read("pf/Velmora/KLV.EXE"), "new main program");
  EXPECT_EQ(dir_.Read("sys/x.dll"), "new library");
  struct stat st;
  ::stat(dir_.File("pf/Velmora/KLV.EXE").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0755u) << "the program stays executable";
  EXPECT_EQ(State("update.list"), "");
  EXPECT_EQ(State("update.file"),
            "$(System32)\\x.dll=2.0.0.0\r\n" + dir_.path() + "pf/Velmora/KLV.EXE=6.15.0.0\r\n");
  EXPECT_FALSE(platform::FileExists(dir_.File("data/Velmora/update/KLV_EXE.zip")));
  EXPECT_NE(result.standard_error.find("Extracting " + dir_.path() + "sys/x.dll..."),
            std::string::npos)
      << result.standard_error;
}

TEST_F(UpdateCycleProgramTest, PendingArchiveIsAppliedAlthoughNoServerAnswers) {
  dir_.Write("data/Velmora/update/P.zip", OneEntryZip("pending content"));
  dir_.Write("data/Velmora/update/update.list", "$(System32)\\p.dll=P\r\n");
  const auto result = Run("");
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(dir_.Read("sys/p.dll"), "pending content");
  EXPECT_EQ(State("update.list"), "");
  // The failed posts are shown at the end.
  EXPECT_NE(result.standard_error.find("Connection failed: "), std::string::npos);
}

// A program file that runs during the update is set aside as ".$$$" and replaced.
TEST_F(UpdateCycleProgramTest, RunningProgramIsSetAsideAndReplaced) {
  const std::string target = dir_.File("sys/Main.exe");
  std::filesystem::copy_file("/bin/sleep", target);
  ::chmod(target.c_str(), 0755);
  pid_t pid = 0;
  char* const args[] = {const_cast<char*>(target.c_str()), const_cast<char*>("600"), nullptr};
  ASSERT_EQ(::posix_spawn(&pid, target.c_str(), nullptr, nullptr, args, environ), 0);
  Archive("MAIN", "new program");
  Serve(
      "<klv><updates><update name=\"$(System32)\\Main.exe\" version=\"2\" "
      "url=\"http://localhost/update/1/sus/MAIN\"/></updates></klv>");
  const auto result = Run("85");
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_TRUE(dir_.Read("sys/Main.exe") == "new program") << "the program was not replaced";
  EXPECT_TRUE(platform::FileExists(dir_.File("sys/Main.$$$")));
  EXPECT_EQ(State("update.list"), "");
}

TEST_F(UpdateCycleProgramTest, UpdateSwitchRestartsTheMainProgramAfterInstalling) {
  const std::string fifo = dir_.File("started");
  ::mkfifo(fifo.c_str(), 0600);
  const std::string main_program =
      dir_.Write("pf/Velmora/KLV.EXE", "#!/bin/sh\necho restarted > '" + fifo + "'\n");
  ::chmod(main_program.c_str(), 0755);
  Archive("X", "x");
  Serve(
      "<klv><updates><update name=\"$(System32)\\x.dll\" version=\"1\" "
      "url=\"http://localhost/update/1/sus/X\"/></updates></klv>");
  const auto result = Run("85", {"/update"});
  EXPECT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_EQ(testing::ReadFifoLine(fifo, 10000), "restarted");
  EXPECT_EQ(dir_.Read("sys/x.dll"), "x");
}

}  // namespace
}  // namespace klv
