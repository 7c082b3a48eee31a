// Helpers of the legacy-method tests: one-entry archives around an encoded payload, their
// extraction the way the apply phase does it, and Info-ZIP unzip as the independent decoder.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/zip/unzip_test_support.h"
#include "tests/zip/zip_writer.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace klv::testing {

// A one-entry archive holding `payload` as the compressed form of `content`; its declared
// size is `declared_size` when given, else the size of `content`.
inline std::string LegacyZip(uint16_t method, const std::string& content,
                             const std::string& payload, uint16_t flags = 0,
                             std::optional<uint64_t> declared_size = std::nullopt) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "LEGACY.BIN",
                             .data = content,
                             .method = method,
                             .flags = flags,
                             .uncompressed_size = declared_size,
                             .payload = payload});
  return BuildZip(archive);
}

// The same for damaged data: the declared size is too large for the payload to produce, so
// the output stream is not sized in advance and holds exactly what was decoded; the
// declared CRC-32 is that of `content`.
inline std::string DamagedZip(uint16_t method, const std::string& content,
                              const std::string& payload, uint16_t flags = 0) {
  return LegacyZip(method, content, payload, flags, uint64_t{1} << 31);
}

struct LegacyOutcome {
  int32_t result = -1;  // ExtractToStream's answer
  std::string output;
  std::vector<std::string> messages;  // what reached the host's message box
};

// Extracts entry `index` (only that one) of the archive file at `path` into memory.
inline LegacyOutcome ExtractFile(const std::string& path, int index = 0) {
  LegacyOutcome outcome;
  RecordingHost host;
  zip::TUnZip unzip(&host);
  unzip.SetZipName(path);
  unzip.DoAll = false;
  unzip.OverwriteMode = zip::TOverwriteMode::Always;
  unzip.ReadDirectory();
  zip::TMemoryStream stream;
  outcome.result = unzip.ExtractToStream(&stream, index);
  outcome.output = std::string(stream.View());
  outcome.messages = host.messages;
  return outcome;
}

inline LegacyOutcome ExtractBytes(const std::string& zip_bytes) {
  TempDir dir;
  return ExtractFile(dir.Write("legacy.zip", zip_bytes));
}

// What `unzip -p` makes of the archive's one entry; empty output when it fails.
inline CommandResult UnzipPipe(const std::string& zip_bytes) {
  TempDir dir;
  const std::string path = dir.Write("oracle.zip", zip_bytes);
  return RunShell("unzip -p " + QuoteArg(path) + " 2>/dev/null");
}

#define REQUIRE_UNZIP()                                                         \
  if (!::klv::testing::HaveProgram("unzip")) {                                  \
    GTEST_SKIP() << "Info-ZIP unzip is needed to check the encoder's fixtures"; \
  }

}  // namespace klv::testing
