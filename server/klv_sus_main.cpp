// klv_sus: the reference update server. Serves a folder holding a manifest and the archives
// it names; see server/README.md.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>

#include "server/delivery_store.h"
#include "server/listeners.h"
#include "server/manifest.h"
#include "server/options.h"
#include "server/sus_service.h"

namespace {

constexpr int kUsageExit = 2;

void WriteReadyLine(const klv::sus::Options& options, const std::vector<int>& ports) {
  if (options.ready_file.empty()) return;
  std::string line = "klv_sus listening on " + options.address + " port";
  for (const int port : ports) line += " " + std::to_string(port);
  std::ofstream ready(options.ready_file, std::ios::app);
  ready << line << "\n";
  if (!ready.flush()) throw std::runtime_error("cannot write " + options.ready_file);
}

int Serve(const klv::sus::Options& options) {
  using namespace klv::sus;
  std::vector<ManifestEntry> manifest = LoadManifest(options.manifest, options.folder);
  DeliveryStore store(options.database);
  std::mutex log_mutex;
  SusService service({options.folder, options.base_url, std::move(manifest)}, store,
                     [&log_mutex](const std::string& line) {
                       const std::lock_guard lock(log_mutex);
                       std::cerr << "klv_sus: " << line << std::endl;
                     });

  // The termination signals are taken by sigwait below; blocked before any thread starts,
  // they reach no other thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that goes away mid-answer is an error of that one write, not of the server.
  ::signal(SIGPIPE, SIG_IGN);

  Listeners listeners(service, options.address, options.ports);
  // A listener that stops by itself ends the server as a signal would.
  listeners.Start([] { ::kill(::getpid(), SIGTERM); });
  WriteReadyLine(options, listeners.ports());
  std::cerr << "klv_sus: serving " << options.folder << " on " << options.address << std::endl;

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  std::cerr << "klv_sus: stopping (signal " << signal_number << ")" << std::endl;
  listeners.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  klv::sus::Options options;
  try {
    options = klv::sus::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const klv::sus::UsageError& error) {
    std::cerr << "klv_sus: " << error.what() << "\n" << klv::sus::UsageText();
    return kUsageExit;
  }
  if (options.help) {
    std::cout << klv::sus::UsageText();
    return 0;
  }
  try {
    return Serve(options);
  } catch (const std::exception& error) {
    std::cerr << "klv_sus: " << error.what() << std::endl;
    return 1;
  }
}
