// The klv_sus program: start-up checks, listening on several ports, clean stop on a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "tests/server/service_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace klv::sus {
namespace {

using testing::Exchange;
using testing::PostRequest;
using testing::RequestBody;
using testing::StatusOf;

std::string Program() {
  return klv::testing::BuiltProgram("server/klv_sus");
}

// klv_sus running in the background with its standard error in a file; killed if a test
// leaves it running.
class BackgroundServer {
 public:
  BackgroundServer(const std::vector<std::string>& args, const std::string& error_file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> text = {Program()};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) pid_ = -1;
  }
  ~BackgroundServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  BackgroundServer(const BackgroundServer&) = delete;
  BackgroundServer& operator=(const BackgroundServer&) = delete;

  bool started() const { return pid_ > 0; }
  void Signal(int number) { ::kill(pid_, number); }
  // The exit code once the program has ended (bounded polling), or -1.
  int WaitForExit() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

class KlvSusProgramTest : public ::testing::TestWithParam<int> {
 protected:
  KlvSusProgramTest() {
    dir_.Write("served/manifest.tsv", "KLV.EXE\t6.15.0.0\tKLV_EXE.zip\n");
    dir_.Write("served/KLV_EXE.zip", "archive");
  }
  klv::testing::TempDir dir_;
};

TEST_P(KlvSusProgramTest, ServesEveryPortAndStopsCleanlyOnASignal) {
  const std::string fifo = dir_.File("ready");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  BackgroundServer server({"--folder", dir_.File("served"), "--port", "0,0", "--ready", fifo,
                           "--database", dir_.File("deliveries.db")},
                          dir_.File("stderr.txt"));
  ASSERT_TRUE(server.started());
  const std::optional<std::string> ready = klv::testing::ReadFifoLine(fifo, 20000);
  ASSERT_TRUE(ready.has_value()) << dir_.Read("stderr.txt");

  std::istringstream words(*ready);
  std::string klv_sus, listening, on, address, port_word;
  int first = 0, second = 0;
  words >> klv_sus >> listening >> on >> address >> port_word >> first >> second;
  ASSERT_EQ(address, "127.0.0.1") << *ready;
  ASSERT_GT(first, 0) << *ready;
  ASSERT_GT(second, 0) << *ready;
  EXPECT_NE(first, second);

  // The same memory behind both ports: the second port offers nothing new.
  const std::string on_first = Exchange(first, PostRequest(RequestBody("PC1")));
  const std::string on_second = Exchange(second, PostRequest(RequestBody("PC1")));
  EXPECT_EQ(StatusOf(on_first), 200);
  EXPECT_NE(on_first.find("<update name=\"KLV.EXE\""), std::string::npos);
  EXPECT_EQ(StatusOf(on_second), 200);
  EXPECT_EQ(on_second.find("<update "), std::string::npos);

  server.Signal(GetParam());
  EXPECT_EQ(server.WaitForExit(), 0);
  const std::string log = dir_.Read("stderr.txt");
  EXPECT_NE(log.find("klv_sus: 127.0.0.1 :" + std::to_string(first) + " POST /sus 200 "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("klv_sus: stopping"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Signals, KlvSusProgramTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                           return std::string(info.param == SIGTERM ? "Sigterm" : "Sigint");
                         });

TEST(KlvSusStartTest, ABadManifestStopsTheStartWithItsLine) {
  klv::testing::TempDir dir;
  dir.Write("manifest.tsv", "KLV.EXE\t6.15.0.0\tKLV_EXE.zip\nx.dll\t1\n");
  dir.Write("KLV_EXE.zip", "archive");
  const auto result = klv::testing::RunProgram(Program(), {"--folder", dir.path(), "--port", "0"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.standard_error, "klv_sus: " + dir.File("manifest.tsv") +
                                       " line 2: expected 3 tab-separated fields (target, "
                                       "version, archive), found 2\n");
}

TEST(KlvSusStartTest, CommandLineMistakesAreUsageErrors) {
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"--port", "85"},
      {"--folder", "/tmp", "--port", "70000"},
      {"--folder", "/tmp", "--base-url", "http://localhost:85"},
      {"--folder", "/tmp", "--frobnicate", "1"},
      {"--folder"}};
  for (const auto& args : mistakes) {
    const auto result = klv::testing::RunProgram(Program(), args);
    EXPECT_EQ(result.exit_code, 2) << result.standard_error;
    EXPECT_NE(result.standard_error.find("usage: klv_sus"), std::string::npos);
  }
}

TEST(KlvSusStartTest, APortInUseIsReported) {
  klv::testing::TempDir dir;
  dir.Write("manifest.tsv", "");
  testing::RunningService taken("", {});
  const auto result = klv::testing::RunProgram(
      Program(), {"--folder", dir.path(), "--port", std::to_string(taken.port())});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(
      result.standard_error.find("cannot listen on 127.0.0.1 port " + std::to_string(taken.port())),
      std::string::npos)
      << result.standard_error;
}

}  // namespace
}  // namespace klv::sus
