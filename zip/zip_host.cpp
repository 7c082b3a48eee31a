#include "zip/zip_host.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace klv::zip {

namespace {
constexpr std::chrono::milliseconds kPauseWait{1000};
}  // namespace

int ZipHost::ShowMessage(const std::string& text, const std::string& caption, unsigned) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return 0;
}

void ZipHost::PauseWait() {
  std::this_thread::sleep_for(kPauseWait);
}

ZipHost& DefaultZipHost() {
  static ZipHost host;
  return host;
}

}  // namespace klv::zip
