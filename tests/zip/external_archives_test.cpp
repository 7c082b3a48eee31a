// Archives from public test suites (shared test data beside the checkout; not copied into the
// repository): every one is read without a crash or hang, and the stored and deflated entries
// that other readers agree on come out with their CRC-32 and size.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "tests/zip/unzip_test_support.h"
#include "tests/zip/zip_writer.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace klv::zip {
namespace {

namespace fs = std::filesystem;

std::string ExternalDir() {
  return klv::testing::SourceDir() + "/../shared/testdata/zip-external";
}

#define REQUIRE_EXTERNAL_DATA()                                              \
  if (!fs::is_directory(ExternalDir())) {                                    \
    GTEST_SKIP() << "external test archives not found at " << ExternalDir(); \
  }

std::string SlashPath(const TZipEntryInfo& entry) {
  std::string path = entry.Path();
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

struct Outcome {
  int32_t result = 0;
  std::string output;
  std::string error;  // the message of an exception of the reader's family
};

// Extracts one entry the way the apply phase does; failures of the reader's own family are
// outcomes, anything else fails the test.
Outcome ExtractOne(TUnZip& unzip, int index) {
  Outcome outcome;
  TMemoryStream stream;
  try {
    outcome.result = unzip.ExtractToStream(&stream, index);
  } catch (const EZipException& e) {
    outcome.error = e.what();
  }
  outcome.output = std::string(stream.View());
  return outcome;
}

std::vector<fs::path> ArchivesIn(const std::string& folder) {
  std::vector<fs::path> files;
  for (const auto& item : fs::directory_iterator(ExternalDir() + "/" + folder)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ExternalArchives, EveryArchiveIsReadWithoutCrashOrHang) {
  REQUIRE_EXTERNAL_DATA();
  int archives = 0;
  for (const char* folder : {"nasty", "legacy", "generated"}) {
    for (const fs::path& path : ArchivesIn(folder)) {
      SCOPED_TRACE(path.string());
      klv::testing::RecordingHost host;
      TUnZip unzip(&host);
      unzip.SetZipName(path.string());
      try {
        unzip.ReadDirectory();
      } catch (const EZipException&) {
        continue;  // a directory that cannot be read is an answer too
      }
      for (int i = 0; i < unzip.EntryCount(); ++i) {
        unzip.SetZipName(path.string());
        const Outcome outcome = ExtractOne(unzip, i);
        EXPECT_LE(outcome.output.size(), 64u << 20);
      }
      ++archives;
    }
  }
  EXPECT_GT(archives, 50);
}

struct ManifestRow {
  std::string archive, entry, method;
  uint32_t crc = 0;
  size_t size = 0;
};

std::vector<ManifestRow> ReadManifest() {
  std::ifstream in(ExternalDir() + "/MANIFEST.tsv");
  std::vector<ManifestRow> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestRow row;
    std::string flags, crc, size;
    std::getline(fields, row.archive, '\t');
    std::getline(fields, row.entry, '\t');
    std::getline(fields, row.method, '\t');
    std::getline(fields, flags, '\t');
    std::getline(fields, crc, '\t');
    std::getline(fields, size, '\t');
    row.crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
    row.size = std::stoul(size);
    rows.push_back(row);
  }
  return rows;
}

int FindEntry(const TUnZip& unzip, const std::string& slash_path) {
  for (int i = 0; i < unzip.EntryCount(); ++i) {
    if (SlashPath(unzip.Entry(i)) == slash_path) return i;
  }
  return -1;
}

TEST(ExternalArchives, ManifestEntries) {
  REQUIRE_EXTERNAL_DATA();
  int stored = 0, legacy = 0;
  for (const ManifestRow& row : ReadManifest()) {
    SCOPED_TRACE(row.archive + " " + row.entry);
    klv::testing::RecordingHost host;
    TUnZip unzip(&host);
    unzip.SetZipName(ExternalDir() + "/" + row.archive);
    unzip.ReadDirectory();
    const int index = FindEntry(unzip, row.entry);
    ASSERT_GE(index, 0);
    const Outcome outcome = ExtractOne(unzip, index);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(klv::testing::Crc32Of(outcome.output), row.crc);
    EXPECT_EQ(outcome.output.size(), row.size);
    EXPECT_TRUE(host.messages.empty());
    ++(row.method == "0 stored" ? stored : legacy);
  }
  EXPECT_EQ(stored, 45);
  EXPECT_EQ(legacy, 115);
}

// Lists, for one archive, the stored and deflated entries that Python's zipfile reads with a
// correct CRC and that `unzip -p` gives back byte for byte: name, CRC-32, size.
constexpr char kOracleScript[] = R"(
import re, subprocess, sys, zipfile, zlib
path = sys.argv[1]
try:
    infos = zipfile.ZipFile(path).infolist()
    archive = zipfile.ZipFile(path)
except Exception:
    sys.exit(0)
for info in infos:
    if info.compress_type not in (0, 8) or info.flag_bits & 1 or info.filename.endswith('/') or not info.filename:
        continue
    try:
        data = archive.read(info)
    except Exception:
        continue
    pattern = re.sub(r'([\[\]*?])', r'[\1]', info.filename)
    unzip = subprocess.run(['unzip', '-p', path, pattern], capture_output=True)
    if unzip.returncode == 0 and unzip.stdout == data and zlib.crc32(data) == info.CRC:
        print('%s\t%08x\t%d' % (info.filename, info.CRC, len(data)))
)";

TEST(ExternalArchives, NastyEntriesThatOtherReadersAgreeOn) {
  REQUIRE_EXTERNAL_DATA();
  if (!klv::testing::HaveProgram("python3") || !klv::testing::HaveProgram("unzip")) {
    GTEST_SKIP() << "python3 and unzip are needed as oracles";
  }
  klv::testing::TempDir dir;
  const std::string script = dir.Write("oracle.py", kOracleScript);
  int agreed = 0;
  for (const fs::path& path : ArchivesIn("nasty")) {
    SCOPED_TRACE(path.filename().string());
    const auto oracle = klv::testing::RunShell("python3 " + klv::testing::QuoteArg(script) + " " +
                                               klv::testing::QuoteArg(path.string()));
    std::istringstream lines(oracle.output);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string name, crc, size;
      std::getline(fields, name, '\t');
      std::getline(fields, crc, '\t');
      std::getline(fields, size, '\t');
      SCOPED_TRACE(name);
      klv::testing::RecordingHost host;
      TUnZip unzip(&host);
      unzip.SetZipName(path.string());
      unzip.ReadDirectory();
      const uint32_t want_crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
      int index = FindEntry(unzip, name);
      for (int i = 0; index < 0 && i < unzip.EntryCount(); ++i) {
        // Names decoded differently (code pages) are matched by CRC and size.
        const TZipEntryInfo& entry = unzip.Entry(i);
        if (entry.Crc32 == want_crc && entry.EffectiveUncompressedSize() == std::stoul(size)) {
          index = i;
        }
      }
      ASSERT_GE(index, 0) << "entry not found";
      const Outcome outcome = ExtractOne(unzip, index);
      EXPECT_EQ(outcome.result, 1) << outcome.error;
      EXPECT_EQ(klv::testing::Crc32Of(outcome.output), want_crc);
      EXPECT_EQ(outcome.output.size(), std::stoul(size));
      ++agreed;
    }
  }
  EXPECT_GT(agreed, 30);
  std::printf("%d entries agreed on by the oracles\n", agreed);
}

}  // namespace
}  // namespace klv::zip
