// Archives made by Python's zipfile and by Info-ZIP zip, read by the component and compared
// with what Info-ZIP unzip gives for the same archive.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/zip/unzip_test_support.h"
#include "tests/zip/zip_writer.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace klv::zip {
namespace {

using klv::testing::QuoteArg;
using klv::testing::RunShell;

struct OracleCase {
  const char* name;    // the archive is named after what it exercises
  const char* python;  // a script given the archive path as sys.argv[1], or nullptr
  const char* shell;   // shell commands run in a folder with sample files; $Z is the archive
};

// Sample files for the Info-ZIP cases, made in the folder the commands run in.
void MakeSamples(const klv::testing::TempDir& dir) {
  std::string text;
  for (int i = 0; text.size() < 150000; ++i) text += "Appointment " + std::to_string(i) + "\n";
  dir.Write("samples/text.txt", text);
  dir.Write("samples/small.txt", "tiny\n");
  dir.Write("samples/empty.txt", "");
  std::string binary(70000, '\0');
  uint32_t x = 7;
  for (char& c : binary) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
  dir.Write("samples/sub/random.bin", binary);
}

const OracleCase kCases[] = {
    {"python_stored_and_deflated", R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr(zipfile.ZipInfo('stored.txt'), 'plain ' * 1000)
    z.writestr('deflated.txt', 'packed ' * 20000, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('dir/', '')
    z.writestr('dir/empty.txt', '')
)",
     nullptr},
    {"python_utf8_names_and_comment", R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', compression=zipfile.ZIP_DEFLATED) as z:
    z.comment = b'archive comment ' * 30
    z.writestr('pr\u00e4xis/z\u00e4hne.txt', 'molar ' * 100)
    z.writestr('\u6f22\u5b57.txt', 'kanji')
)",
     nullptr},
    {"python_forced_zip64", R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', compression=zipfile.ZIP_DEFLATED) as z:
    with z.open('big.txt', 'w', force_zip64=True) as f:
        f.write(b'zip64 ' * 50000)
    z.writestr('after.txt', 'after')
)",
     nullptr},
    {"python_streamed_data_descriptors", R"(
import io, sys, zipfile
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open(sys.argv[1], 'wb') as out:
    with zipfile.ZipFile(Unseekable(out), 'w', compression=zipfile.ZIP_DEFLATED) as z:
        z.writestr('one.txt', 'streamed ' * 3000)
        with z.open('two.txt', 'w') as f:
            f.write(b'second ' * 5000)
)",
     nullptr},
    {"infozip_deflated_tree", nullptr, "cd samples && zip -q -r -X $Z ."},
    {"infozip_stored", nullptr, "cd samples && zip -q -r -0 $Z ."},
    {"infozip_best_with_comment", nullptr,
     "cd samples && zip -q -r -9 $Z . && echo 'archive comment' | zip -q -z $Z"},
    {"infozip_streamed_to_stdout", nullptr, "cd samples && zip -q - text.txt small.txt > $Z"},
    {"infozip_forced_zip64", nullptr, "cd samples && zip -q -fz -r $Z ."},
    {"infozip_self_extractor_prefix", nullptr,
     "cd samples && zip -q -r $Z.tmp . && (head -c 5000 /dev/zero; cat $Z.tmp) > $Z && "
     "zip -q -A $Z"},
    {"infozip_unicode_path_field", nullptr,
     "cd samples && cp small.txt \"$(printf 'z\\303\\244hne.txt')\" && "
     "LC_ALL=C.UTF-8 zip -q $Z \"$(printf 'z\\303\\244hne.txt')\" text.txt"},
};

class OracleFixtures : public ::testing::TestWithParam<OracleCase> {};

TEST_P(OracleFixtures, AgreeWithUnzip) {
  const OracleCase& c = GetParam();
  const bool python = c.python != nullptr;
  if (!klv::testing::HaveProgram("unzip") || (python && !klv::testing::HaveProgram("python3")) ||
      (!python && !klv::testing::HaveProgram("zip"))) {
    GTEST_SKIP() << "fixture maker or unzip missing";
  }
  klv::testing::TempDir dir;
  const std::string archive = dir.File(std::string(c.name) + ".zip");
  if (python) {
    const std::string script = dir.Write("make.py", c.python);
    ASSERT_EQ(RunShell("python3 " + QuoteArg(script) + " " + QuoteArg(archive)).status, 0);
  } else {
    MakeSamples(dir);
    ASSERT_EQ(
        RunShell("cd " + QuoteArg(dir.path()) + " && Z=" + QuoteArg(archive) + " && " + c.shell)
            .status,
        0);
  }
  // unzip -p writes every file entry in directory order.
  const auto expected = RunShell("unzip -p " + QuoteArg(archive));
  ASSERT_EQ(expected.status, 0);

  klv::testing::RecordingHost host;
  TUnZip unzip(&host);
  unzip.SetZipName(archive);
  unzip.DoAll = false;
  unzip.ReadDirectory();
  ASSERT_GT(unzip.EntryCount(), 0);
  EXPECT_FALSE(unzip.ImproperZip());
  std::string ours;
  int files = 0;
  for (int i = 0; i < unzip.EntryCount(); ++i) {
    if (unzip.Entry(i).FileName.empty()) continue;
    TMemoryStream output;
    EXPECT_EQ(unzip.ExtractToStream(&output, i), 1) << unzip.Entry(i).Path();
    ours += output.View();
    ++files;
  }
  EXPECT_EQ(ours.size(), expected.output.size());
  EXPECT_TRUE(ours == expected.output);
  const auto listed = RunShell("unzip -Z1 " + QuoteArg(archive) + " | grep -v '/$' | wc -l");
  EXPECT_EQ(std::stoi(listed.output), files);
}

INSTANTIATE_TEST_SUITE_P(Makers, OracleFixtures, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OracleFixtures, UnicodePathFieldNamesTheEntry) {
  if (!klv::testing::HaveProgram("zip")) GTEST_SKIP() << "zip missing";
  klv::testing::TempDir dir;
  MakeSamples(dir);
  const std::string archive = dir.File("u.zip");
  ASSERT_EQ(
      RunShell("cd " + QuoteArg(dir.path() + "samples") +
               " && cp small.txt \"$(printf 'z\\303\\244hne.txt')\" && LC_ALL=C.UTF-8 zip -q " +
               QuoteArg(archive) + " \"$(printf 'z\\303\\244hne.txt')\"")
          .status,
      0);
  TUnZip unzip;
  unzip.SetZipName(archive);
  unzip.ReadDirectory();
  ASSERT_EQ(unzip.EntryCount(), 1);
  EXPECT_EQ(unzip.Entry(0).FileName, "z\xC3\xA4hne.txt");
}

}  // namespace
}  // namespace klv::zip
