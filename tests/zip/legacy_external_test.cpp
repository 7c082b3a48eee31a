// The legacy methods on archives from public sources (shared test data beside the checkout,
// listed in its MANIFEST.tsv): every shrunk, reduced and imploded entry comes out byte for
// byte as the expected file (or, where no copy is kept, with the stored CRC-32), and every
// variant of the methods is among them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/zip/legacy_test_support.h"

namespace klv::zip {
namespace {

namespace fs = std::filesystem;
using klv::testing::Crc32Of;
using klv::testing::LegacyOutcome;

std::string ExternalDir() {
  return klv::testing::SourceDir() + "/../shared/testdata/zip-external";
}

#define REQUIRE_EXTERNAL_DATA()                                              \
  if (!fs::is_directory(ExternalDir())) {                                    \
    GTEST_SKIP() << "external test archives not found at " << ExternalDir(); \
  }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

uint64_t Get16At(const std::string& bytes, uint64_t at) {
  return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8);
}

struct Row {
  std::string archive, entry, method, flags, expected;
  uint32_t crc = 0;
  size_t size = 0;
};

// The manifest's rows of methods 1 to 6.
std::vector<Row> LegacyRows() {
  std::ifstream in(ExternalDir() + "/MANIFEST.tsv");
  std::vector<Row> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Row row;
    std::string crc, size;
    std::getline(fields, row.archive, '\t');
    std::getline(fields, row.entry, '\t');
    std::getline(fields, row.method, '\t');
    std::getline(fields, row.flags, '\t');
    std::getline(fields, crc, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, row.expected, '\t');
    row.crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
    row.size = std::stoul(size);
    if (row.method.rfind("0 ", 0) != 0) rows.push_back(row);
  }
  return rows;
}

int FindEntry(TUnZip& unzip, const std::string& slash_path) {
  for (int i = 0; i < unzip.EntryCount(); ++i) {
    std::string path = unzip.Entry(i).Path();
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path == slash_path) return i;
  }
  return -1;
}

TEST(LegacyExternal, EveryEntryDecodesToItsExpectedBytes) {
  REQUIRE_EXTERNAL_DATA();
  std::map<std::string, int> variants;  // method text -> entries decoded
  int compared = 0;
  for (const Row& row : LegacyRows()) {
    SCOPED_TRACE(row.archive + " " + row.entry + " (" + row.method + ")");
    const std::string path = ExternalDir() + "/" + row.archive;
    klv::testing::RecordingHost host;
    TUnZip unzip(&host);
    unzip.SetZipName(path);
    unzip.ReadDirectory();
    const int index = FindEntry(unzip, row.entry);
    ASSERT_GE(index, 0);
    const LegacyOutcome outcome = klv::testing::ExtractFile(path, index);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(outcome.output.size(), row.size);
    EXPECT_EQ(Crc32Of(outcome.output), row.crc);
    if (row.expected.rfind("expected/", 0) == 0) {
      EXPECT_TRUE(outcome.output == ReadFile(ExternalDir() + "/" + row.expected))
          << "differs from " << row.expected;
      ++compared;
    }
    ++variants[row.method];
  }
  // Every variant: shrink, reduce factors 1 to 4, implode with both dictionaries, with and
  // without the literal tree.
  for (const char* method :
       {"1 shrink", "2 reduce1", "3 reduce2", "4 reduce3", "5 reduce4", "6 implode 4K 2trees",
        "6 implode 4K 3trees", "6 implode 8K 2trees", "6 implode 8K 3trees"}) {
    EXPECT_GE(variants[method], 3) << method;
  }
  EXPECT_EQ(compared, 107);
}

// An imploded entry of more than 200000 compressed bytes decodes its distances through an
// 8-bit first-level table; the output is the same as through the 7-bit one. The same
// compressed bytes are read once as they are and once followed by 200000 unused bytes.
TEST(LegacyExternal, LargeImplodedEntryDecodesTheSameWithEitherDistanceTable) {
  REQUIRE_EXTERNAL_DATA();
  const std::string expected = ReadFile(ExternalDir() + "/expected/defacto2-hw/TESTDAT3.TXT");
  const std::string archive = ReadFile(ExternalDir() + "/generated/hwzip_implode_8K3T.zip");
  klv::testing::RecordingHost host;
  TUnZip unzip(&host);
  unzip.SetZipName(ExternalDir() + "/generated/hwzip_implode_8K3T.zip");
  unzip.ReadDirectory();
  const int index = FindEntry(unzip, "TESTDAT3.TXT");
  ASSERT_GE(index, 0);
  const TZipEntryInfo& entry = unzip.Entry(index);
  const uint64_t local = entry.EffectiveLocalHeaderOffset();
  const uint64_t data_start =
      local + 30 + Get16At(archive, local + 26) + Get16At(archive, local + 28);
  const std::string payload = archive.substr(data_start, entry.EffectiveCompressedSize());
  ASSERT_LT(payload.size(), 200000u);
  for (size_t padding : {size_t{0}, size_t{200000}}) {
    SCOPED_TRACE(padding);
    const LegacyOutcome outcome = klv::testing::ExtractBytes(
        klv::testing::LegacyZip(6, expected, payload + std::string(padding, '\x55'), entry.Flags));
    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(outcome.output == expected);
  }
}

}  // namespace
}  // namespace klv::zip
