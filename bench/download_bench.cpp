// Throughput of an archive download with the updater's HTTP client, its progress events wired
// to the update window, against `curl -o` fetching the same address. The address comes from
// $KLV_BENCH_URL; bench/download_throughput.sh serves a 200 MB archive and runs this.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/writable_file.h"
#include "update/update_form.h"
#include "update/view_factory.h"

namespace {

std::string Url() {
  const char* url = std::getenv("KLV_BENCH_URL");
  return url ? url : "";
}

std::string OutputPath() {
  const char* dir = std::getenv("KLV_BENCH_DIR");
  return std::string(dir ? dir : "/tmp") + "/download.zip";
}

class FileSink final : public klv::platform::DownloadSink {
 public:
  explicit FileSink(klv::platform::WritableFile& file) : file_(file) {}
  void Write(const char* data, size_t size) override { file_.Write(data, size); }

 private:
  klv::platform::WritableFile& file_;
};

void BM_UpdaterDownload(benchmark::State& state) {
  if (Url().empty()) return state.SkipWithError("KLV_BENCH_URL is not set");
  const auto view = klv::CreateUpdateView();
  klv::platform::SystemClock clock;
  klv::TfrmUpdate form(*view, clock, klv::StartupContext{});
  klv::platform::HttpEvents events;
  events.work_begin = [&form](int64_t max) { form.IdHTTPWorkBegin(max); };
  events.work = [&form](int64_t count) { form.IdHTTPWork(count); };
  events.work_end = [&form] { form.IdHTTPWorkEnd(); };
  const auto client = klv::platform::CreateHttpClient(std::move(events));
  int64_t bytes = 0;
  for (auto _ : state) {
    klv::platform::WritableFile file(OutputPath());
    FileSink sink(file);
    client->Get(Url(), sink);
    bytes += form.Progress().maximum();
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_UpdaterDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_CurlCommand(benchmark::State& state) {
  if (Url().empty()) return state.SkipWithError("KLV_BENCH_URL is not set");
  const std::string command = "curl -s -o '" + OutputPath() + "' '" + Url() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError("curl failed");
  }
}
BENCHMARK(BM_CurlCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
