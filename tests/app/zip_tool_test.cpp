// klv_tool zip list|extract|test, run as support staff run it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "tests/zip/unzip_test_support.h"
#include "tests/zip/zip_writer.h"

namespace klv {
namespace {

using klv::testing::FixtureArchive;
using klv::testing::QuoteArg;

klv::testing::CommandResult Tool(const std::string& arguments) {
  return klv::testing::RunShell(QuoteArg(klv::testing::BinaryDir() + "/app/klv_tool") + " zip " +
                                arguments + " 2>/dev/null");
}

// The CRC-32 of `data` as the tool prints it.
std::string Hex(const std::string& data) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", klv::testing::Crc32Of(data));
  return text;
}

std::string Sample() {
  std::string s;
  for (int i = 0; s.size() < 40000; ++i) s += "chart " + std::to_string(i) + "\n";
  return s;
}

class ZipTool : public ::testing::Test {
 protected:
  void SetUp() override {
    FixtureArchive archive;
    archive.entries.push_back({.name = "docs/", .data = ""});
    archive.entries.push_back({.name = "docs/a.txt", .data = "stored text"});
    archive.entries.push_back({.name = "b.txt", .data = Sample(), .method = 8});
    archive.entries.push_back({.name = "bad.txt", .data = "oops", .crc = 0xDEADBEEF});
    archive.entries.push_back({.name = "odd.bin", .data = "xyz", .method = 12});
    archive.entries.push_back({.name = "secret.txt", .data = "pw", .flags = 1});
    path_ = QuoteArg(dir_.Write("sample.zip", klv::testing::BuildZip(archive)));
  }
  klv::testing::TempDir dir_;
  std::string path_;
};

TEST_F(ZipTool, ListsOneLinePerEntryInIndexOrder) {
  const auto result = Tool("list " + path_);
  EXPECT_EQ(result.status, 0);
  const std::string deflated = std::to_string(klv::testing::RawDeflate(Sample()).size());
  const std::string size = std::to_string(Sample().size());
  EXPECT_EQ(result.output,
            "0\t0\t0\t00000000\tdocs\\\n"
            "0\t11\t11\t" +
                Hex("stored text") +
                "\tdocs\\a.txt\n"
                "8\t" +
                deflated + "\t" + size + "\t" + Hex(Sample()) +
                "\tb.txt\n"
                "0\t4\t4\tdeadbeef\tbad.txt\n"
                "12\t3\t3\t" +
                Hex("xyz") +
                "\todd.bin\n"
                "0\t2\t2\t" +
                Hex("pw") + "\tsecret.txt\n");
}

TEST_F(ZipTool, ExtractWritesTheEntryAndTellsWhetherItWasVerified) {
  struct {
    const char* index;
    int status;
    std::string output;
  } const cases[] = {
      {"1", 0, "stored text"},
      {"2", 0, Sample()},
      {"3", 1, "oops"},  // written, but the CRC does not match
      {"4", 1, ""},      // unknown method
      {"5", 1, ""},      // encrypted
      {"0", 1, ""},      // a folder
      {"6", 1, ""},      // no such entry
  };
  for (const auto& c : cases) {
    const auto result = Tool("extract " + path_ + " " + c.index);
    EXPECT_EQ(result.status, c.status) << c.index;
    EXPECT_TRUE(result.output == c.output) << c.index;
  }
}

TEST_F(ZipTool, TestReportsEveryEntry) {
  const auto result = Tool("test " + path_);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output,
            "OK\tdocs\\\n"
            "OK\tdocs\\a.txt\n"
            "OK\tb.txt\n"
            "bad CRC " +
                Hex("oops") +
                " (stored deadbeef)\tbad.txt\n"
                "Unknown Compression Method\todd.bin\n"
                "encrypted, skipped\tsecret.txt\n");
}

TEST_F(ZipTool, GoodArchivePassesTheTest) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = Sample(), .method = 8});
  const auto result =
      Tool("test " + QuoteArg(dir_.Write("good.zip", klv::testing::BuildZip(archive))));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "OK\ta.txt\n");
}

TEST_F(ZipTool, NotAnArchiveAndUsage) {
  const std::string text = QuoteArg(dir_.Write("text.zip", "just text"));
  EXPECT_EQ(Tool("list " + text).status, 1);
  EXPECT_EQ(Tool("test " + text).status, 1);
  EXPECT_EQ(Tool("list " + QuoteArg(dir_.File("missing.zip"))).status, 1);
  EXPECT_EQ(Tool("extract " + path_ + " x").status, 2);
  EXPECT_EQ(Tool("frobnicate " + path_).status, 2);
  EXPECT_EQ(Tool("").status, 2);
}

TEST_F(ZipTool, ExtractAgreesWithUnzip) {
  if (!klv::testing::HaveProgram("zip") || !klv::testing::HaveProgram("unzip")) {
    GTEST_SKIP() << "Info-ZIP zip and unzip are needed";
  }
  dir_.Write("in/notes.txt", Sample());
  const std::string archive = QuoteArg(dir_.File("infozip.zip"));
  ASSERT_EQ(klv::testing::RunShell("cd " + QuoteArg(dir_.File("in")) + " && zip -q -9 " + archive +
                                   " notes.txt")
                .status,
            0);
  const auto ours = Tool("extract " + archive + " 0");
  const auto theirs = klv::testing::RunShell("unzip -p " + archive + " notes.txt");
  EXPECT_EQ(ours.status, 0);
  EXPECT_TRUE(ours.output == theirs.output);
}

}  // namespace
}  // namespace klv
