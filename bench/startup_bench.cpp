// Start-up cost of the style holder: its creation alone, the update window shown in-process
// with and without it, and the real program from its start to its window mapped. The window
// benchmarks need a display: run under Xvfb, for example
//   xvfb-run -a build/bench/startup_bench
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/styles.h"
#include "platform/instance_record.h"
#include "update/update_view.h"
#include "update/view_factory.h"

extern char** environ;

namespace {

constexpr auto kMapTimeout = std::chrono::seconds(20);

bool HasDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

// Waits (boundedly) for a top-level window to be mapped on `display`.
bool WaitForMap(Display* display) {
  const auto deadline = std::chrono::steady_clock::now() + kMapTimeout;
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify) return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{ConnectionNumber(display), POLLIN, 0};
    poll(&entry, 1, static_cast<int>(left.count()));
  }
}

void BM_CreateStyleHolder(benchmark::State& state) {
  for (auto _ : state) {
    const klv::StylesUnit unit;
    benchmark::DoNotOptimize(klv::frmStyles());
  }
}
BENCHMARK(BM_CreateStyleHolder);

// For comparison: the holder with every picture and image drawn, as loading them all at
// start would cost.
void BM_CreateStyleHolderAllDrawn(benchmark::State& state) {
  for (auto _ : state) {
    const klv::StylesUnit unit;
    const klv::TfrmStyles& styles = *klv::frmStyles();
    for (const klv::Picture* picture :
         {&styles.imDecember, &styles.imLogo, &styles.imBadge, &styles.imR, &styles.imA,
          &styles.imG, &styles.imPrint, &styles.imEaster, &styles.imHalloween, &styles.imPoppy,
          &styles.imLogoHot, &styles.imValentine}) {
      benchmark::DoNotOptimize(picture->Pixels().data());
    }
    for (const klv::ImageList* list : {&styles.ilSmall, &styles.ilForm, &styles.ilTools,
                                       &styles.ilFlags, &styles.ilStrip, &styles.ilRAG}) {
      for (int i = 0; i < list->count(); ++i) {
        benchmark::DoNotOptimize(list->Image(i)->Pixels().data());
      }
    }
  }
}
BENCHMARK(BM_CreateStyleHolderAllDrawn)->Unit(benchmark::kMillisecond);

// What the start does up to the window shown, in one process: the style holder when
// state.range(0) is 1, then the window created and shown (and taken down again).
void BM_WindowShownInProcess(benchmark::State& state) {
  if (!HasDisplay()) {
    state.SkipWithError("no DISPLAY");
    return;
  }
  const bool with_holder = state.range(0) == 1;
  for (auto _ : state) {
    std::unique_ptr<klv::StylesUnit> unit;
    if (with_holder) unit = std::make_unique<klv::StylesUnit>();
    const std::unique_ptr<klv::UpdateView> view = klv::CreateUpdateView();
    view->Show();
  }
}
BENCHMARK(BM_WindowShownInProcess)
    ->ArgName("with_holder")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// The real klv_upd (with its style holder) from process start until its window is mapped.
void BM_ProgramStartToWindowMapped(benchmark::State& state) {
  if (!HasDisplay()) {
    state.SkipWithError("no DISPLAY");
    return;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    state.SkipWithError("cannot open the display");
    return;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  const std::filesystem::path bench = std::filesystem::read_symlink("/proc/self/exe");
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("klv-startup-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string program = (folder / "klv_upd").string();
  std::filesystem::copy_file(bench.parent_path().parent_path() / "app" / "klv_upd", program,
                             std::filesystem::copy_options::overwrite_existing);
  std::vector<std::string> env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) env_text.emplace_back(*entry);
  for (const char* name : {"KLV_PROGRAM_FILES", "KLV_COMMON_APPDATA", "KLV_SYSTEM32"}) {
    env_text.push_back(std::string(name) + "=" + (folder / "data").string());
  }
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  for (auto _ : state) {
    XSync(display, True);  // drop what earlier runs left
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
      state.SkipWithError("cannot start klv_upd");
      break;
    }
    if (!WaitForMap(display)) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      state.SkipWithError("klv_upd mapped no window");
      break;
    }
    const auto mapped = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(mapped - start).count());
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
  }
  XCloseDisplay(display);
  std::filesystem::remove_all(folder);
  // The killed copies left their single-instance record's name behind.
  std::string name = program;
  std::erase(name, '/');
  shm_unlink(klv::platform::SharedMemoryName(name).c_str());
}
BENCHMARK(BM_ProgramStartToWindowMapped)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
