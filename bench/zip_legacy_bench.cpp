// The legacy methods against Info-ZIP `unzip -p ARCHIVE ENTRY > /dev/null` on the same
// entry of the same archive (real PKZIP archives from the shared external test data): one
// benchmark per method. Our side is the apply phase's path: name the archive, read its
// directory, extract the entry into memory with the CRC-32 check. Both runs alternate within
// each iteration so the machine's load falls on both alike; the counters hold the fastest run
// of each and their ratio (ours / unzip; below 1 is faster). Reduced entries have no ratio:
// the unzip here is built without that method (and 7-Zip has none either).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace {

// Beside the checkout, as for the tests; the checkout is found from this file's path.
std::string ExternalDir() {
  const std::filesystem::path checkout =
      std::filesystem::path(__FILE__).parent_path().parent_path();
  return (checkout / "../shared/testdata/zip-external/").string();
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int FindEntry(klv::zip::TUnZip& unzip, const std::string& name) {
  for (int i = 0; i < unzip.EntryCount(); ++i) {
    if (unzip.Entry(i).FileName == name) return i;
  }
  return -1;
}

// Extracts `name` into memory; its size, or 0 when it did not verify.
size_t ExtractToMemory(const std::string& archive, const std::string& name) {
  klv::zip::TUnZip unzip;
  unzip.SetZipName(archive);
  unzip.ReadDirectory();
  const int index = FindEntry(unzip, name);
  klv::zip::TMemoryStream output;
  if (index < 0 || unzip.ExtractToStream(&output, index) != 1) return 0;
  benchmark::DoNotOptimize(output.Data());
  return static_cast<size_t>(output.Size());
}

bool UnzipPipe(const std::string& archive, const std::string& name) {
  const std::string command = "unzip -p '" + archive + "' '" + name + "' > /dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// args: archive (under the external folder), entry name, and whether unzip reads the method.
void RunMethod(benchmark::State& state, const char* archive_name, const char* entry,
               bool with_unzip) {
  const std::string archive = ExternalDir() + archive_name;
  if (!std::filesystem::exists(archive)) {
    state.SkipWithError("external test archives not found");
    return;
  }
  double ours = 1e300, unzip = 1e300;
  size_t size = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    size = ExtractToMemory(archive, entry);
    const auto t1 = std::chrono::steady_clock::now();
    if (size == 0) {
      state.SkipWithError("the entry did not extract");
      return;
    }
    ours = std::min(ours, Milliseconds(t1 - t0));
    if (with_unzip) {
      if (!UnzipPipe(archive, entry)) {
        state.SkipWithError("unzip -p failed");
        return;
      }
      unzip = std::min(unzip, Milliseconds(std::chrono::steady_clock::now() - t1));
    }
  }
  state.counters["MB"] = static_cast<double>(size) / 1e6;
  state.counters["ours_ms"] = ours;
  state.counters["ours_MB_per_s"] = static_cast<double>(size) / 1e3 / ours;
  if (with_unzip) {
    state.counters["unzip_ms"] = unzip;
    state.counters["ratio"] = ours / unzip;
  }
}

BENCHMARK_CAPTURE(RunMethod, Shrink, "legacy/pkzipdos_PKZ110ES.ZIP", "TEST.EXE", true)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunMethod, ShrinkBitmap, "legacy/pkzipdos_PKZ110ES.ZIP", "TEST.BMP", true)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunMethod, Implode4K2Trees, "legacy/pkzipdos_PKZ110.ZIP", "TEST.EXE", true)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunMethod, Implode8K3Trees, "legacy/cc_lorem-ipsum-implode.zip", "LOREM.TXT",
                  true)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunMethod, Implode8K2Trees, "generated/hwzip_implode_8K2T.zip", "TESTDAT3.TXT",
                  true)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunMethod, Reduce1, "legacy/pkzipdos_PKZ80B1.ZIP", "TEST.EXE", false)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunMethod, Reduce4, "legacy/pkzipdos_PKZ80B4.ZIP", "TEST.EXE", false)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
