// klv_tool zip: the updater's zip reader on an archive, for support staff.
//   zip list ARCHIVE           one line per entry: method, sizes, CRC-32, path
//   zip extract ARCHIVE INDEX  the entry's bytes to standard output (status 0 when verified)
//   zip test ARCHIVE           every entry extracted and verified: "OK" or the reason
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <string>

#include "app/tool/commands.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace klv::tool {

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int Usage() {
  std::fputs("usage: klv_tool zip list|test ARCHIVE\n       klv_tool zip extract ARCHIVE INDEX\n",
             stderr);
  return kUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "klv_tool: zip: %s\n", message.c_str());
  return kFailure;
}

bool WriteOut(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

// A host that keeps the reader's messages as the reason an entry failed.
class ReasonHost : public zip::ZipHost {
 public:
  int ShowMessage(const std::string& text, const std::string&, unsigned) override {
    reason = text;
    return 0;
  }
  std::string reason;
};

// Loads the archive's directory; false (with the message written) when there is none.
bool Load(zip::TUnZip& unzip, const std::string& archive, int& status) {
  unzip.SetZipName(archive);
  unzip.DoProcessMessages = false;
  unzip.KeepZipOpen = true;
  unzip.ReadDirectory();
  if (!unzip.HasDirectory()) {
    status = Fail(archive + ": " + zip::kTextIncompleteZip);
    return false;
  }
  return true;
}

// Extracts entry `index` into `output`; answers "OK" or the reason it failed.
std::string ExtractEntry(zip::TUnZip& unzip, ReasonHost& host, int index,
                         zip::TMemoryStream& output) {
  std::string reason;
  host.reason.clear();
  unzip.OnBadCRC = [&](uint32_t calculated, uint32_t stored, int) {
    char text[64];
    std::snprintf(text, sizeof text, "bad CRC %08" PRIx32 " (stored %08" PRIx32 ")", calculated,
                  stored);
    reason = text;
  };
  unzip.OnSkippingFile = [&](zip::TSkipReason why, const std::string&, int, bool&) {
    reason = why == zip::TSkipReason::BadPassword ? "encrypted, skipped"
                                                  : "zip64 value missing, skipped";
  };
  try {
    if (unzip.ExtractToStream(&output, index) == 1) return "OK";
  } catch (const zip::EZipException& e) {
    return e.what();
  }
  if (!host.reason.empty()) return host.reason;
  return reason.empty() ? "not extracted" : reason;
}

int List(const std::string& archive) {
  zip::TUnZip unzip;
  int status = 0;
  if (!Load(unzip, archive, status)) return status;
  for (int i = 0; i < unzip.EntryCount(); ++i) {
    const zip::TZipEntryInfo& entry = unzip.Entry(i);
    char fields[96];
    std::snprintf(fields, sizeof fields, "%u\t%" PRIu64 "\t%" PRIu64 "\t%08" PRIx32 "\t",
                  static_cast<unsigned>(entry.Method), entry.EffectiveCompressedSize(),
                  entry.EffectiveUncompressedSize(), entry.Crc32);
    if (!WriteOut(std::string(fields) + entry.Path() + "\n")) return kFailure;
  }
  return std::fflush(stdout) == 0 ? 0 : kFailure;
}

int Extract(const std::string& archive, const std::string& index_text) {
  int index = -1;
  try {
    size_t used = 0;
    index = std::stoi(index_text, &used);
    if (used != index_text.size()) return Usage();
  } catch (const std::exception&) {
    return Usage();
  }
  ReasonHost host;
  zip::TUnZip unzip(&host);
  int status = 0;
  if (!Load(unzip, archive, status)) return status;
  if (index < 0 || index >= unzip.EntryCount()) return Fail(zip::IndexOutOfRangeText(index));
  if (unzip.Entry(index).FileName.empty()) return Fail("entry " + index_text + " is a folder");
  zip::TMemoryStream output;
  const std::string outcome = ExtractEntry(unzip, host, index, output);
  if (!WriteOut(output.View()) || std::fflush(stdout) != 0) return kFailure;
  return outcome == "OK" ? 0 : Fail(outcome);
}

int Test(const std::string& archive) {
  ReasonHost host;
  zip::TUnZip unzip(&host);
  int status = 0;
  if (!Load(unzip, archive, status)) return status;
  for (int i = 0; i < unzip.EntryCount(); ++i) {
    const zip::TZipEntryInfo& entry = unzip.Entry(i);
    std::string outcome = "OK";
    if (!entry.FileName.empty()) {
      zip::TMemoryStream output;
      outcome = ExtractEntry(unzip, host, i, output);
    }
    if (outcome != "OK") status = kFailure;
    if (!WriteOut(outcome + "\t" + entry.Path() + "\n")) return kFailure;
  }
  return std::fflush(stdout) == 0 ? status : kFailure;
}

}  // namespace

int ZipCommand(const Arguments& args) {
  if (args.size() < 2) return Usage();
  const std::string& command = args[0];
  try {
    if (command == "list" && args.size() == 2) return List(args[1]);
    if (command == "test" && args.size() == 2) return Test(args[1]);
    if (command == "extract" && args.size() == 3) return Extract(args[1], args[2]);
  } catch (const std::exception& e) {
    return Fail(args[1] + ": " + e.what());
  }
  return Usage();
}

}  // namespace klv::tool
