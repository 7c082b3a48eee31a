// The real updater program with a display: klv_upd on a private Xvfb server, without an update
// server (private network), read back through Xlib while it runs.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/updater_program.h"
#include "tests/support/x_display.h"

extern char** environ;

namespace klv {
namespace {

using testing::XClient;
using testing::XImageCopy;
using testing::XvfbServer;

constexpr uint32_t kButtonFace = 0xF0F0F0;
constexpr uint32_t kBarBorder = 0xBCBCBC;
constexpr int kPollMs = 25;
// The run without a server lasts about 6 s (two waits of 500 ms and the error's 5,000 ms).
constexpr int kAppearTries = 20000 / kPollMs;
constexpr int kErrorTries = 20000 / kPollMs;
constexpr int kExitTries = 30000 / kPollMs;

// A program started without waiting for it; killed if the test leaves it running.
class RunningProgram {
 public:
  RunningProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& error_file) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> environment;
    for (const std::string& entry : env) environment.push_back(const_cast<char*>(entry.c_str()));
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environment.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~RunningProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool started() const { return pid_ > 0; }
  // The exit code once the program has ended within `tries` polls; nullopt if it has not
  // (or did not end normally).
  std::optional<int> WaitForExit(int tries) {
    for (int i = 0; i < tries; ++i) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        if (!WIFEXITED(status)) return std::nullopt;
        return WEXITSTATUS(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
};

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& settings) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const auto& s) {
      return s.compare(0, name.size(), name) == 0;
    });
    if (!replaced && name != "WAYLAND_DISPLAY=") env.push_back(text);
  }
  env.insert(env.end(), settings.begin(), settings.end());
  return env;
}

int PaintedIn(const XImageCopy& image, int left, int top, int right, int bottom) {
  int count = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) count += image.At(x, y) != kButtonFace ? 1 : 0;
  }
  return count;
}

bool IsInk(uint32_t pixel) {
  return ((pixel >> 16) & 0xFF) < 0xA0 && ((pixel >> 8) & 0xFF) < 0xA0 && (pixel & 0xFF) < 0xA0;
}

int InkIn(const XImageCopy& image, int left, int top, int right, int bottom) {
  int count = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) count += IsInk(image.At(x, y)) ? 1 : 0;
  }
  return count;
}

// Red above the cross of the error picture (where the globe is blue).
bool ShowsErrorPicture(const XImageCopy& image) {
  if (image.width < 72 || image.height < 72) return false;
  const uint32_t disc = image.At(40, 20);
  return ((disc >> 16) & 0xFF) > 0xB0 && ((disc >> 8) & 0xFF) < 0x60 &&
         image.At(40, 40) == 0xFFFFFF;
}

class UpdateWindowProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = XvfbServer::Start(&why_not_);
    if (server_ == nullptr) GTEST_SKIP() << why_not_;
    client_ = std::make_unique<XClient>(server_->display());
    ASSERT_TRUE(client_->connected());
    dir_.Write("pf/Velmora/KLV.SYS", "");
  }

  // Starts klv_upd on the test server. In a private network no update server answers, so the
  // run ends with the connection errors.
  std::unique_ptr<RunningProgram> StartUpdater() {
    return std::make_unique<RunningProgram>(
        std::vector<std::string>{testing::SourceDir() + "/tests/app/run_in_private_network.sh", "",
                                 "", "", "", testing::PrivateUpdaterCopy(dir_.path())},
        EnvironmentWith({"DISPLAY=" + server_->display(), "KLV_PROGRAM_FILES=" + dir_.path() + "pf",
                         "KLV_COMMON_APPDATA=" + dir_.path() + "data",
                         "KLV_SYSTEM32=" + dir_.path() + "sys"}),
        dir_.File("stderr.txt"));
  }

  std::string why_not_;
  std::unique_ptr<XvfbServer> server_;
  std::unique_ptr<XClient> client_;
  testing::TempDir dir_;
};

TEST_F(UpdateWindowProgramTest, RunShowsWindowAsLaidOutThenEndsWithExitCodeZero) {
  const std::unique_ptr<RunningProgram> program = StartUpdater();
  ASSERT_TRUE(program->started());

  const unsigned long window = client_->WaitForWindow("Update", kAppearTries, kPollMs);
  ASSERT_NE(window, 0u) << "no window named Update appeared";
  const testing::XGeometry geometry = client_->Geometry(window);
  EXPECT_EQ(geometry.width, 386);
  EXPECT_EQ(geometry.height, 80);
  EXPECT_EQ(geometry.x, (1280 - 386) / 2);
  EXPECT_EQ(geometry.y, (1024 - 80) / 2);
  const std::vector<std::string> state = client_->AtomList(window, "_NET_WM_STATE");
  EXPECT_NE(std::find(state.begin(), state.end(), "_NET_WM_STATE_ABOVE"), state.end());
  const std::vector<long> motif = client_->Longs(window, "_MOTIF_WM_HINTS");
  ASSERT_EQ(motif.size(), 5u);
  EXPECT_EQ(motif[1], 4) << "functions: move only, no close";

  // The run ends with the error picture and the error text in the label.
  XImageCopy image;
  for (int i = 0; i < kErrorTries; ++i) {
    image = client_->Capture(window);
    if (ShowsErrorPicture(image) && InkIn(image, 78, 8, 378, 21) > 20) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  ASSERT_TRUE(ShowsErrorPicture(image)) << "the error picture did not appear";
  ASSERT_EQ(image.width, 386);
  ASSERT_EQ(image.height, 80);
  EXPECT_GT(InkIn(image, 78, 8, 378, 21), 20) << "no text on the label's first line";
  // Picture at 8, 8 (64 x 64), label 78, 8 (300 x 41), bar 78, 55 (300 x 17); the rest is
  // the form colour.
  EXPECT_GT(PaintedIn(image, 8, 8, 72, 72), 64 * 64 / 2);
  EXPECT_EQ(PaintedIn(image, 0, 0, 386, 8), 0);
  EXPECT_EQ(PaintedIn(image, 0, 72, 386, 80), 0);
  EXPECT_EQ(PaintedIn(image, 0, 0, 8, 80), 0);
  EXPECT_EQ(PaintedIn(image, 72, 0, 78, 80), 0);
  EXPECT_EQ(PaintedIn(image, 378, 0, 386, 80), 0);
  EXPECT_EQ(PaintedIn(image, 78, 49, 378, 55), 0);
  EXPECT_EQ(image.At(78, 55), kBarBorder);
  EXPECT_EQ(image.At(377, 55), kBarBorder);
  EXPECT_EQ(image.At(78, 71), kBarBorder);
  EXPECT_EQ(image.At(377, 71), kBarBorder);

  EXPECT_EQ(program->WaitForExit(kExitTries), std::optional<int>(0)) << dir_.Read("stderr.txt");
  EXPECT_EQ(client_->FindWindow("Update"), 0u) << "the window outlived the program";
}

// At 144 dpi the layout is scaled by 1.5 (rounded as MulDiv does), and the client area is the
// scaled bar's right and bottom edges plus 8 unscaled pixels.
TEST_F(UpdateWindowProgramTest, ScalesLayoutToTheDisplayResolution) {
  client_->SetResources("Xft.dpi:\t144\n");
  const std::unique_ptr<RunningProgram> program = StartUpdater();
  ASSERT_TRUE(program->started());
  const unsigned long window = client_->WaitForWindow("Update", kAppearTries, kPollMs);
  ASSERT_NE(window, 0u) << "no window named Update appeared";

  // Bar 78, 55, 300 x 17 becomes 117, 83, 450 x 26: client area 575 x 117.
  const testing::XGeometry geometry = client_->Geometry(window);
  EXPECT_EQ(geometry.width, 117 + 450 + 8);
  EXPECT_EQ(geometry.height, 83 + 26 + 8);
  XImageCopy image;
  for (int i = 0; i < kErrorTries; ++i) {
    image = client_->Capture(window);
    if (image.width == 575 && image.height == 117 && image.At(117, 83) == kBarBorder) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  ASSERT_EQ(image.width, 575);
  ASSERT_EQ(image.height, 117);
  EXPECT_EQ(image.At(117, 83), kBarBorder);
  EXPECT_EQ(image.At(116, 83), kButtonFace);
  EXPECT_EQ(image.At(566, 108), kBarBorder);
  EXPECT_EQ(image.At(567, 108), kButtonFace);
  EXPECT_EQ(image.At(566, 109), kButtonFace);
  // The picture keeps its 64 x 64 pixels at the scaled place 12, 12.
  EXPECT_EQ(PaintedIn(image, 0, 0, 12, 117), 0);
  EXPECT_EQ(PaintedIn(image, 76, 0, 117, 117), 0);
  EXPECT_GT(PaintedIn(image, 12, 12, 76, 76), 64 * 64 / 2);

  EXPECT_EQ(program->WaitForExit(kExitTries), std::optional<int>(0)) << dir_.Read("stderr.txt");
}

}  // namespace
}  // namespace klv
