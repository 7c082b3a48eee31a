#include "update/install_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace klv {
namespace {

TEST(AsideName, ReplacesTheExtensionOfTheFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/App/Main.exe", "/App/Main.$$$"},         {"/App/Main", "/App/Main.$$$"},
      {"/App.d/Main", "/App.d/Main.$$$"},         {"/App/a.b.dll", "/App/a.b.$$$"},
      {"C:\\App\\Main.exe", "C:\\App\\Main.$$$"},
  };
  for (const auto& [target, aside] : cases) EXPECT_EQ(AsideName(target), aside) << target;
}

class InstallFileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::string target_ = dir_.File("Main.exe");
  std::string aside_ = dir_.File("Main.$$$");
};

TEST_F(InstallFileTest, ReplacesTheContentAndKeepsThePermissionBits) {
  dir_.Write("Main.exe", "old");
  ::chmod(target_.c_str(), 0751);
  EXPECT_TRUE(InstallFile(target_, "new content"));
  EXPECT_EQ(dir_.Read("Main.exe"), "new content");
  struct stat st;
  ASSERT_EQ(::stat(target_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_FALSE(std::filesystem::exists(aside_));
  // Only the target is left in the folder: no temporary file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(InstallFileTest, CreatesAMissingTargetButNotItsFolder) {
  EXPECT_TRUE(InstallFile(dir_.File("new.dll"), "x"));
  EXPECT_EQ(dir_.Read("new.dll"), "x");
  EXPECT_FALSE(InstallFile(dir_.File("missing/new.dll"), "x"));
}

TEST_F(InstallFileTest, AWriteThatFailsMidwayLeavesTheOldContentWhole) {
  dir_.Write("Main.exe", "old");
  {
    testing::FileSizeLimit limit(4096);
    EXPECT_FALSE(InstallFile(target_, std::string(100000, 'n')));
  }
  EXPECT_EQ(dir_.Read("Main.exe"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1)
      << "no temporary or aside file is left";
}

TEST_F(InstallFileTest, PipeTargetIsReplacedWithoutWaitingForAReader) {
  ASSERT_EQ(::mkfifo(target_.c_str(), 0600), 0);
  EXPECT_TRUE(InstallFile(target_, "new"));
  EXPECT_EQ(dir_.Read("Main.exe"), "new");
}

TEST_F(InstallFileTest, SecondWriteFailingMovesTheAsideFileBack) {
  dir_.Write("Main.exe", "old");
  int calls = 0;
  const ContentWriter always_failing = [&calls](const std::string&, std::string_view,
                                                const std::string&) {
    ++calls;
    throw std::runtime_error("disk full");
  };
  EXPECT_FALSE(InstallFile(target_, "new", always_failing));
  EXPECT_EQ(calls, 2) << "the direct write, then the write after the move";
  EXPECT_EQ(dir_.Read("Main.exe"), "old") << "the product must still start";
  EXPECT_FALSE(std::filesystem::exists(aside_));
}

// A program that is running cannot be opened for writing (ETXTBSY): it is set aside.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& path) {
    std::filesystem::copy_file("/bin/sleep", path);
    ::chmod(path.c_str(), 0755);
    char* const args[] = {const_cast<char*>(path.c_str()), const_cast<char*>("600"), nullptr};
    if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, args, environ) != 0) pid_ = -1;
  }
  ~RunningProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

TEST_F(InstallFileTest, RunningProgramIsSetAsideAndReplaced) {
  RunningProgram program(target_);
  ASSERT_TRUE(program.running());
  ASSERT_FALSE(platform::CanOpenForWriting(target_));
  EXPECT_TRUE(InstallFile(target_, "new program"));
  EXPECT_EQ(dir_.Read("Main.exe"), "new program");
  EXPECT_TRUE(std::filesystem::exists(aside_));
  struct stat st;
  ASSERT_EQ(::stat(target_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0111u) << "an executable stays executable";
}

TEST_F(InstallFileTest, RunningProgramWithATakenAsideNameStays) {
  dir_.Write("Main.$$$", "left from an earlier update");
  RunningProgram program(target_);
  ASSERT_TRUE(program.running());
  EXPECT_FALSE(InstallFile(target_, "new program"));
  EXPECT_EQ(dir_.Read("Main.$$$"), "left from an earlier update");
  EXPECT_NE(dir_.Read("Main.exe"), "new program");
}

}  // namespace
}  // namespace klv
