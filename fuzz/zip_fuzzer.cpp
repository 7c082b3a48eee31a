// libFuzzer target over the zip reader: directory loading (with repair and the side-car)
// and extraction of every entry, on an archive file made from the input.
//
// The first input byte chooses options: bits 0-1 the reaction to a missing end record,
// bit 2 an ".exe" name (the repair scan then starts after a stub), bit 3 a ".zfc" side-car
// made from the second half of the rest. The rest is the archive.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace {

using namespace klv::zip;

class SilentHost : public ZipHost {
 public:
  int ShowMessage(const std::string&, const std::string&, unsigned) override { return 0; }
  void PauseWait() override {}
};

constexpr int kMaxEntriesExtracted = 64;

std::string Folder() {
  return access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  ++data;
  --size;
  const std::string base = Folder() + "klv_zip_fuzz_" + std::to_string(getpid());
  const std::string archive = base + ((options & 4) ? ".exe" : ".zip");
  const std::string side_car = base + ".zfc";
  size_t archive_size = size;
  if (options & 8) {
    archive_size = size / 2;
    WriteFile(side_car, data + archive_size, size - archive_size);
  } else {
    unlink(side_car.c_str());
  }
  WriteFile(archive, data, archive_size);

  SilentHost host;
  TUnZip unzip(&host);
  unzip.SetZipName(archive);
  unzip.IncompleteZipMode = static_cast<TIncompleteZipMode>((options & 3) % 3);
  unzip.DoAll = (options & 16) != 0;
  try {
    unzip.ReadDirectory();
    const int count = unzip.EntryCount();
    for (int i = 0; i < count && i < kMaxEntriesExtracted; ++i) {
      TMemoryStream output;
      try {
        unzip.SetZipName(archive);
        unzip.ExtractToStream(&output, i);
      } catch (const EZipException&) {
      }
    }
  } catch (const EZipException&) {
  }
  unlink(archive.c_str());
  return 0;
}
