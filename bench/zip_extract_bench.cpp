// Extracting a 120 MB deflated entry into memory, against a plain zlib inflate plus crc32()
// of the same data in one buffer, and against `unzip -p` of the same archive; and the peak
// memory of the extraction. The archive is made at start in a temporary folder.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/zip/zip_writer.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace {

constexpr size_t kEntrySize = 120u << 20;

// Text-like data (numbered appointment lines with a few words from a vocabulary), which
// deflates at about the ratio of program files.
std::string MakeData() {
  static const char* kWords[] = {"molar",   "crown",   "filling", "recall",  "hygiene", "x-ray",
                                 "invoice", "patient", "surgery", "implant", "bridge",  "fee"};
  std::string data;
  data.reserve(kEntrySize + 256);
  uint32_t x = 12345;
  while (data.size() < kEntrySize) {
    x = x * 1103515245 + 12345;
    data += std::to_string(x % 100000);
    data += ' ';
    data += kWords[(x >> 8) % 12];
    data += ' ';
    data += kWords[(x >> 16) % 12];
    data += '\n';
  }
  data.resize(kEntrySize);
  return data;
}

struct Fixture {
  Fixture() {
    folder = std::filesystem::temp_directory_path() / ("klv_zip_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string data = MakeData();
    crc = klv::testing::Crc32Of(data);
    compressed = klv::testing::RawDeflate(data);
    klv::testing::FixtureArchive archive;
    archive.entries.push_back(
        {.name = "KLV.EXE", .data = data, .method = 8, .payload = compressed});
    archive_path = (folder / "update.zip").string();
    std::ofstream(archive_path, std::ios::binary) << klv::testing::BuildZip(archive);
  }
  ~Fixture() { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  std::string archive_path;
  std::string compressed;
  uint32_t crc = 0;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The apply phase's path: name the archive, read its directory, extract entry 0 to memory.
void ExtractToMemory(const Fixture& f) {
  klv::zip::TUnZip unzip;
  unzip.SetZipName(f.archive_path);
  unzip.DoAll = true;
  unzip.ReadDirectory();
  klv::zip::TMemoryStream output;
  if (unzip.ExtractToStream(&output, 0) != 1) std::abort();
  benchmark::DoNotOptimize(output.Data());
}

// The same data inflated by zlib in one call into one buffer, then crc32() over it.
void PlainInflateCrc(const Fixture& f) {
  std::unique_ptr<uint8_t[]> output(new uint8_t[kEntrySize]);
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(f.compressed.data()));
  z.avail_in = static_cast<uInt>(f.compressed.size());
  z.next_out = output.get();
  z.avail_out = kEntrySize;
  const int result = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  if (result != Z_STREAM_END || crc32_z(0, output.get(), kEntrySize) != f.crc) std::abort();
  benchmark::DoNotOptimize(output.get());
}

void UnzipPipe(const Fixture& f) {
  const std::string command = "unzip -p '" + f.archive_path + "' > /dev/null";
  if (std::system(command.c_str()) != 0) std::abort();
}

// The three runs alternate within each iteration, so that the machine's load falls on all of
// them alike; the counters hold the fastest run of each and the ratios of those.
void BM_ExtractVersusZlibAndUnzip(benchmark::State& state) {
  const Fixture& f = Shared();
  double ours = 1e300, plain = 1e300, unzip = 1e300;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    ExtractToMemory(f);
    auto t1 = std::chrono::steady_clock::now();
    PlainInflateCrc(f);
    auto t2 = std::chrono::steady_clock::now();
    UnzipPipe(f);
    auto t3 = std::chrono::steady_clock::now();
    ours = std::min(ours, Milliseconds(t1 - t0));
    plain = std::min(plain, Milliseconds(t2 - t1));
    unzip = std::min(unzip, Milliseconds(t3 - t2));
  }
  state.counters["ours_ms"] = ours;
  state.counters["zlib_ms"] = plain;
  state.counters["unzip_ms"] = unzip;
  state.counters["ours_per_zlib"] = ours / plain;
  state.counters["ours_per_unzip"] = ours / unzip;
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

// Peak resident memory added by one extraction, measured by resetting the process's peak
// (Linux clear_refs) before it.
void BM_PeakMemory(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    {
      std::ofstream clear("/proc/self/clear_refs");
      clear << "5";
    }
    const long before = StatusKb("VmRSS:");
    long peak = 0;
    {
      klv::zip::TUnZip unzip;
      unzip.SetZipName(f.archive_path);
      unzip.ReadDirectory();
      klv::zip::TMemoryStream output;
      unzip.ExtractToStream(&output, 0);
      peak = StatusKb("VmHWM:");
    }
    state.counters["entry_MB"] = static_cast<double>(kEntrySize) / (1 << 20);
    state.counters["peak_added_MB"] = static_cast<double>(peak - before) / 1024;
    state.counters["over_entry_KB"] =
        static_cast<double>(peak - before) - static_cast<double>(kEntrySize) / 1024;
  }
}

}  // namespace

BENCHMARK(BM_ExtractVersusZlibAndUnzip)->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
