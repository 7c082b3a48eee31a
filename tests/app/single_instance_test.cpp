// Copies of the real updater side by side. The first copy is held inside its start, after the
// single-instance check, by a settings file KLV.SYS that is a FIFO: it waits in the window's
// creation until the test hands it the file's content.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/check_previous.h"
#include "common/build_stamp.h"
#include "platform/instance_record.h"
#include "tests/app/program_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace klv {
namespace {

// Generous bounds for a loaded machine; the waits end as soon as their condition holds.
constexpr int kReaderTimeoutMs = 30000;
constexpr int kRefusedTimeoutMs = 30000;
// A full run waits 500 + 500 ms and shows a connection error for 5,000 ms.
constexpr int kRunTimeoutMs = 60000;

class SingleInstanceTest : public ::testing::Test {
 protected:
  // A copy of klv_upd under `folder` of the temporary folder.
  std::string Program(const std::string& folder) {
    return testing::CopyOfProgram(testing::BuiltProgram("app/klv_upd"), dir_.path() + folder);
  }

  // The folders of one copy's run: program files and common data of its own under `tag`.
  std::map<std::string, std::optional<std::string>> Environment(const std::string& tag) {
    return {{"KLV_PROGRAM_FILES", dir_.path() + tag + "/pf"},
            {"KLV_COMMON_APPDATA", dir_.path() + tag + "/data"},
            {"KLV_SYSTEM32", dir_.path() + tag + "/sys"},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt}};
  }

  std::string SettingsFile(const std::string& tag) {
    return dir_.path() + tag + "/pf/Velmora/KLV.SYS";
  }

  // The update folder exists once a copy has created its update window.
  bool RanUpdate(const std::string& tag) {
    return std::filesystem::is_directory(dir_.path() + tag + "/data/Velmora/update");
  }

  // Starts `program` for `tag` and holds it in its start, after the single-instance check.
  std::unique_ptr<testing::ChildProgram> StartHeld(const std::string& program,
                                                   const std::string& tag,
                                                   testing::HeldFile& settings) {
    auto child = std::make_unique<testing::ChildProgram>(program, std::vector<std::string>{},
                                                         Environment(tag), dir_.path() + tag);
    EXPECT_TRUE(settings.WaitForReader(kReaderTimeoutMs)) << tag << " never read KLV.SYS";
    return child;
  }

  // Runs `program` for `tag` to its end (with an empty settings file).
  testing::ProgramResult RunToEnd(const std::string& program, const std::string& tag) {
    dir_.Write(tag + "/pf/Velmora/KLV.SYS", "");
    testing::ChildProgram child(program, {}, Environment(tag), dir_.path() + tag);
    testing::ProgramResult result;
    result.exit_code = child.WaitExit(kRunTimeoutMs).value_or(-2);
    result.standard_output = child.StandardOutput();
    result.standard_error = child.StandardError();
    return result;
  }

  testing::TempDir dir_;
};

TEST_F(SingleInstanceTest, SecondCopyFromTheSamePathEndsAtOnceWithoutARun) {
  const std::string program = Program("bin");
  testing::HeldFile settings(SettingsFile("first"));
  const auto first = StartHeld(program, "first", settings);

  dir_.Write("second/pf/Velmora/KLV.SYS", "");
  testing::ChildProgram second(program, {}, Environment("second"), dir_.path() + "second");
  // It ends while the first copy is still held.
  EXPECT_EQ(second.WaitExit(kRefusedTimeoutMs), 0);
  EXPECT_EQ(second.StandardOutput(), "");
  EXPECT_EQ(second.StandardError(), "") << "no status text: no window and no update run";
  EXPECT_FALSE(RanUpdate("second"));
  EXPECT_EQ(first->WaitExit(0), std::nullopt) << "the first copy is still held";

  settings.Release("");
  EXPECT_EQ(first->WaitExit(kRunTimeoutMs), 0) << first->StandardError();
  EXPECT_TRUE(RanUpdate("first"));
}

TEST_F(SingleInstanceTest, CopiesFromDifferentPathsBothRun) {
  testing::HeldFile settings(SettingsFile("first"));
  const auto first = StartHeld(Program("bin-a"), "first", settings);

  const testing::ProgramResult other = RunToEnd(Program("bin-b"), "other");
  EXPECT_EQ(other.exit_code, 0) << other.standard_error;
  EXPECT_TRUE(RanUpdate("other"));

  settings.Release("");
  EXPECT_EQ(first->WaitExit(kRunTimeoutMs), 0) << first->StandardError();
  EXPECT_TRUE(RanUpdate("first"));
}

TEST_F(SingleInstanceTest, RecordThatCannotBeCreatedEndsWithExitCodeOneAndAMessage) {
  const std::string program = Program("bin");
  // A folder where the record belongs: the system refuses to open it as shared memory.
  const std::string blocker = "/dev/shm" + platform::SharedMemoryName(MappingName(program));
  ASSERT_EQ(::mkdir(blocker.c_str(), 0700), 0);
  const testing::ProgramResult result = RunToEnd(program, "blocked");
  ::rmdir(blocker.c_str());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.standard_error.find("single-instance record"), std::string::npos)
      << result.standard_error;
  EXPECT_NE(result.standard_error.find("System Error.  Code: "), std::string::npos)
      << result.standard_error;
  EXPECT_FALSE(RanUpdate("blocked"));
}

// The exit code of a traced child that could not set itself up (tracing not permitted).
constexpr int kTraceRefused = 126;

// Runs `program` traced by this process, as a debugger would, with the extra environment
// `env`; answers the exit code (-1 for a signal) and leaves standard error in `error_file`.
int RunTraced(const std::string& program,
              const std::map<std::string, std::optional<std::string>>& env,
              const std::string& error_file) {
  const pid_t child = ::fork();
  if (child == 0) {
    for (const auto& [name, value] : env) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    const int err = ::open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = ::open("/dev/null", O_RDWR);
    if (err < 0 || null < 0 || ::dup2(err, STDERR_FILENO) < 0 || ::dup2(null, STDIN_FILENO) < 0 ||
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
      ::_exit(kTraceRefused);
    }
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (;;) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -2;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return -1;
    // A stop: the exec trap is swallowed, every other signal is passed on.
    const int signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
    ::ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(signal)));
  }
}

TEST_F(SingleInstanceTest, UnderADebuggerTheBuildStampComesBeforeTheSingleInstanceCheck) {
  const std::string program = Program("bin");
  testing::HeldFile settings(SettingsFile("first"));
  const auto first = StartHeld(program, "first", settings);

  const std::string stamp =
      dir_.Write("projects/KLV/Common/Compiled.inc", "const\r\n\tCompiled = 1;\r\n");
  auto env = Environment("second");
  env["KLV_PROJECTS_DIR"] = dir_.path() + "projects";
  // The leak check of a sanitizer build cannot run under a tracer; it has nothing to do here.
  env["ASAN_OPTIONS"] = "detect_leaks=0";
  const int exit_code = RunTraced(program, env, dir_.path() + "second.err");
  if (exit_code == kTraceRefused) GTEST_SKIP() << "this system does not permit tracing";
  EXPECT_EQ(exit_code, 0) << "refused as the second copy";
  EXPECT_EQ(dir_.Read("second.err"), "Velmora: Compile required!\n");
  EXPECT_EQ(dir_.Read("projects/KLV/Common/Compiled.inc"),
            "const\r\n\tCompiled = " + std::to_string(TodayDayNumber()) + ";\r\n");

  settings.Release("");
  EXPECT_EQ(first->WaitExit(kRunTimeoutMs), 0) << first->StandardError();
}

struct FirstCopyEnd {
  const char* name;
  bool killed;
};

class NewCopyAfterTheFirstTest : public SingleInstanceTest,
                                 public ::testing::WithParamInterface<FirstCopyEnd> {};

TEST_P(NewCopyAfterTheFirstTest, RunsOnceTheFirstCopyIsGone) {
  const std::string program = Program("bin");
  testing::HeldFile settings(SettingsFile("first"));
  const auto first = StartHeld(program, "first", settings);
  if (GetParam().killed) {
    first->Kill(SIGKILL);
    EXPECT_EQ(first->WaitExit(kRunTimeoutMs), -1);
  } else {
    settings.Release("");
    EXPECT_EQ(first->WaitExit(kRunTimeoutMs), 0) << first->StandardError();
  }

  const testing::ProgramResult next = RunToEnd(program, "next");
  EXPECT_EQ(next.exit_code, 0) << next.standard_error;
  EXPECT_TRUE(RanUpdate("next"));
}

INSTANTIATE_TEST_SUITE_P(Ends, NewCopyAfterTheFirstTest,
                         ::testing::Values(FirstCopyEnd{"Normally", false},
                                           FirstCopyEnd{"KilledWithSigkill", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace klv
