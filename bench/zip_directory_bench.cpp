// Loading the directory of an archive with 100,000 entries, against `unzip -Z1` listing it,
// and the read-ahead refills the directory reading costs. The archive is made at start in a
// temporary folder; its central records carry an extra field and a comment, as those of
// common zip tools do, so that every record is followed by a seek.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/zip/zip_writer.h"
#include "zip/buffer_stream.h"
#include "zip/end_of_central.h"
#include "zip/unzip.h"
#include "zip/zip_entry.h"

namespace {

constexpr int kEntries = 100000;

struct Fixture {
  Fixture() {
    folder =
        std::filesystem::temp_directory_path() / ("klv_zipdir_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    klv::testing::FixtureArchive archive;
    std::string timestamp;
    klv::testing::Put32(timestamp, 0x5F000000);
    const std::string extended_time = klv::testing::ExtraBlock(0x5455, "\x03" + timestamp);
    for (int i = 0; i < kEntries; ++i) {
      char name[48];
      std::snprintf(name, sizeof name, "folder%03d/file%06d.dat", i / 1000, i);
      archive.entries.push_back({.name = name,
                                 .data = std::to_string(i),
                                 .central_extra = extended_time,
                                 .comment = i % 10 == 0 ? "c" : ""});
    }
    archive.zip64_end = true;  // more entries than the end record's 16-bit count holds
    archive_path = (folder / "many.zip").string();
    std::ofstream(archive_path, std::ios::binary) << klv::testing::BuildZip(archive);
  }
  ~Fixture() { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  std::string archive_path;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Loading the directory and `unzip -Z1` alternate within each iteration; the counters hold
// the fastest run of each and their ratio.
void BM_ReadDirectoryVersusUnzip(benchmark::State& state) {
  const Fixture& f = Shared();
  const std::string command = "unzip -Z1 '" + f.archive_path + "' > /dev/null";
  double ours = 1e300, unzip = 1e300;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    {
      klv::zip::TUnZip component;
      component.SetZipName(f.archive_path);
      component.ReadDirectory();
      if (component.EntryCount() != kEntries) std::abort();
    }
    auto t1 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::abort();
    auto t2 = std::chrono::steady_clock::now();
    ours = std::min(ours, Milliseconds(t1 - t0));
    unzip = std::min(unzip, Milliseconds(t2 - t1));
  }
  state.counters["ours_ms"] = ours;
  state.counters["unzip_ms"] = unzip;
  state.counters["ours_per_unzip"] = ours / unzip;
}

// The central records read as the directory loader reads them (record, then a seek past the
// extra field and comment), counting the buffer refills.
void BM_CentralRecordRefills(benchmark::State& state) {
  Fixture& f = Shared();
  int64_t fills = 0;
  for (auto _ : state) {
    klv::zip::TBufferedFileStream stream(f.archive_path, 8192, false, klv::zip::FileMode::kRead);
    klv::zip::TEndOfCentral end;
    end.Find(stream);
    stream.SetPosition(static_cast<int64_t>(end.EffectiveCentralOffset()));
    fills = 0;
    stream.OnAfterFill = [&] { ++fills; };
    for (int i = 0; i < kEntries; ++i) {
      klv::zip::TZipEntryInfo entry;
      if (!entry.ReadCentral(stream)) break;
      stream.Seek(entry.CentralExtraLength + entry.CommentLength, klv::zip::SeekOrigin::kCurrent);
    }
  }
  state.counters["refills"] = static_cast<double>(fills);
  state.counters["records"] = kEntries;
}

}  // namespace

BENCHMARK(BM_ReadDirectoryVersusUnzip)->Unit(benchmark::kMillisecond)->Iterations(7);
BENCHMARK(BM_CentralRecordRefills)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
