// The real klv_upd against the real klv_sus in a private network namespace: the first cycle
// installs every published component, the next installs nothing, and a newly published
// version is installed alone.
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

namespace klv::sus {
namespace {

class UpdateCycleWithKlvSusTest : public ::testing::Test {
 protected:
  UpdateCycleWithKlvSusTest() {
    dir_.Write("pf/Velmora/KLV.SYS", "");
    dir_.Write("pf/Velmora/KLV.EXE", "main program 6.14");
    dir_.Write("sys/velmora32.dll", "library 1.0");
    Publish("KLV_EXE.zip", "main program 6.15", "library 1.2");
  }

  // The manifest of the two components, the main program's archive named `klv_archive`.
  void Publish(const std::string& klv_archive, const std::string& klv_content,
               const std::string& dll_content) {
    const std::string klv_version = klv_content.substr(klv_content.rfind(' ') + 1);
    dir_.Write("served/manifest.tsv", "$(KLV_PROGRAM_FILES)\\Velmora\\KLV.EXE\t" + klv_version +
                                          ".0.0\t" + klv_archive +
                                          "\n"
                                          "$(System32)\\velmora32.dll\t1.2.0.0\tvelmora32.zip\n");
    dir_.Write("served/" + klv_archive, OneEntryZip("KLV.EXE", klv_content));
    dir_.Write("served/velmora32.zip", OneEntryZip("velmora32.dll", dll_content));
  }

  static std::string OneEntryZip(const std::string& name, const std::string& content) {
    klv::testing::FixtureArchive archive;
    archive.entries.push_back({.name = name, .data = content, .method = 8});
    return klv::testing::BuildZip(archive);
  }

  klv::testing::ProgramResult Cycle() {
    return klv::testing::RunProgram(
        klv::testing::SourceDir() + "/tests/server/run_with_klv_sus.sh",
        {klv::testing::BuiltProgram("server/klv_sus"), dir_.File("served"),
         klv::testing::PrivateUpdaterCopy(dir_.path())},
        {{"KLV_PROGRAM_FILES", dir_.File("pf")},
         {"KLV_COMMON_APPDATA", dir_.File("data")},
         {"KLV_SYSTEM32", dir_.File("sys")},
         {"DISPLAY", std::nullopt},
         {"WAYLAND_DISPLAY", std::nullopt}});
  }

  size_t ArchiveRequests() {
    const std::string log = dir_.Read("served/sus.log");
    size_t count = 0;
    for (size_t at = log.find(" GET /update/"); at != std::string::npos;
         at = log.find(" GET /update/", at + 1)) {
      ++count;
    }
    return count;
  }

  klv::testing::TempDir dir_;
};

TEST_F(UpdateCycleWithKlvSusTest, InstallsOnceThenNothingThenOnlyTheNewVersion) {
  const auto first = Cycle();
  ASSERT_NE(first.exit_code, 98) << "no private network here: " << first.standard_error;
  ASSERT_EQ(first.exit_code, 0) << first.standard_error << dir_.Read("served/sus.log");
  EXPECT_EQ(dir_.Read("pf/Velmora/KLV.EXE"), "main program 6.15");
  EXPECT_EQ(dir_.Read("sys/velmora32.dll"), "library 1.2");
  EXPECT_EQ(dir_.Read("data/Velmora/update/update.file"),
            "$(KLV_PROGRAM_FILES)\\Velmora\\KLV.EXE=6.15.0.0\r\n"
            "$(System32)\\velmora32.dll=1.2.0.0\r\n");
  EXPECT_EQ(dir_.Read("data/Velmora/update/update.list"), "");
  EXPECT_EQ(ArchiveRequests(), 2u);
  EXPECT_EQ(first.standard_error.find("Connection failed"), std::string::npos);

  // The server remembers: nothing is offered, nothing fetched, nothing touched.
  dir_.Write("pf/Velmora/KLV.EXE", "changed by hand");
  const auto second = Cycle();
  ASSERT_EQ(second.exit_code, 0) << second.standard_error;
  EXPECT_EQ(second.standard_error.find("Downloading"), std::string::npos) << second.standard_error;
  EXPECT_EQ(ArchiveRequests(), 2u);
  EXPECT_EQ(dir_.Read("pf/Velmora/KLV.EXE"), "changed by hand");

  // A new version of one component, under a new archive name: only it comes.
  Publish("KLV_EXE_616.zip", "main program 6.16", "library 1.2 (not to be sent again)");
  const auto third = Cycle();
  ASSERT_EQ(third.exit_code, 0) << third.standard_error;
  EXPECT_EQ(dir_.Read("pf/Velmora/KLV.EXE"), "main program 6.16");
  EXPECT_EQ(dir_.Read("sys/velmora32.dll"), "library 1.2");
  EXPECT_EQ(ArchiveRequests(), 3u);
  EXPECT_NE(dir_.Read("served/sus.log").find("GET /update/1/sus/KLV_EXE_616 200"),
            std::string::npos);
  EXPECT_EQ(dir_.Read("data/Velmora/update/update.file"),
            "$(KLV_PROGRAM_FILES)\\Velmora\\KLV.EXE=6.16.0.0\r\n"
            "$(System32)\\velmora32.dll=1.2.0.0\r\n");
}

// A component whose program file is running while the cycle installs it.
TEST_F(UpdateCycleWithKlvSusTest, RunningProgramIsSetAsideAndReplaced) {
  const std::string target = dir_.File("sys/velmora32.dll");
  std::filesystem::remove(target);
  std::filesystem::copy_file("/bin/sleep", target);
  ::chmod(target.c_str(), 0755);
  pid_t pid = 0;
  char* const args[] = {const_cast<char*>(target.c_str()), const_cast<char*>("600"), nullptr};
  ASSERT_EQ(::posix_spawn(&pid, target.c_str(), nullptr, nullptr, args, environ), 0);
  const auto result = Cycle();
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ASSERT_EQ(result.exit_code, 0) << result.standard_error;
  EXPECT_TRUE(dir_.Read("sys/velmora32.dll") == "library 1.2") << "not replaced";
  EXPECT_TRUE(platform::FileExists(dir_.File("sys/velmora32.$$$"))) << "not set aside";
  EXPECT_EQ(dir_.Read("data/Velmora/update/update.list"), "");
}

}  // namespace
}  // namespace klv::sus
