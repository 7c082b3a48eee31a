#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/zip/unzip_test_support.h"
#include "tests/zip/zip_writer.h"
#include "zip/unzip.h"

namespace klv::zip {
namespace {

using klv::testing::BuildZip;
using klv::testing::FixtureArchive;
using klv::testing::FixtureEntry;

FixtureArchive ThreeEntries() {
  FixtureArchive archive;
  archive.entries.push_back({.name = "one.txt", .data = "first"});
  archive.entries.push_back({.name = "dir/two.txt", .data = "second entry", .method = 8});
  archive.entries.push_back({.name = "three.bin", .data = std::string(300, 'z'), .method = 8});
  return archive;
}

std::vector<std::string> Paths(const TUnZip& unzip) {
  std::vector<std::string> paths;
  for (int i = 0; i < unzip.EntryCount(); ++i) paths.push_back(unzip.Entry(i).Path());
  return paths;
}

class UnZipDirectory : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    return dir_.Write(name, bytes);
  }
  void Load(const std::string& path) {
    unzip_.SetZipName(path);
    unzip_.ReadDirectory();
  }

  klv::testing::TempDir dir_;
  klv::testing::RecordingHost host_;
  TUnZip unzip_{&host_};
};

TEST_F(UnZipDirectory, LoadsEntriesInArchiveOrder) {
  FixtureArchive archive = ThreeEntries();
  archive.reverse_central = true;
  Load(Write("a.zip", BuildZip(archive)));
  EXPECT_EQ(Paths(unzip_), (std::vector<std::string>{"one.txt", "dir\\two.txt", "three.bin"}));
  EXPECT_FALSE(unzip_.ImproperZip());
  EXPECT_EQ(host_.pumps, 3);  // once per central record
}

TEST_F(UnZipDirectory, ArchivesWithoutEntries) {
  struct {
    const char* what;
    std::string bytes;
  } const cases[] = {
      {"empty file", ""},
      {"one byte", "P"},
      {"21 bytes", std::string(21, 'x')},
      {"text", "not a zip archive at all"},
      {"end record only", BuildZip(FixtureArchive{})},
      {"cut short before its end record", BuildZip(ThreeEntries()).substr(0, 150)},
  };
  for (const auto& c : cases) {
    TUnZip unzip(&host_);
    unzip.SetZipName(Write("e.zip", c.bytes));
    EXPECT_NO_THROW(unzip.ReadDirectory()) << c.what;
    EXPECT_EQ(unzip.EntryCount(), 0) << c.what;
  }
}

TEST_F(UnZipDirectory, IncompleteModes) {
  const std::string path = Write("x.zip", "no end record in here, only text");
  TUnZip not_a_zip(&host_);
  not_a_zip.SetZipName(path);
  not_a_zip.IncompleteZipMode = TIncompleteZipMode::AssumeNotAZip;
  EXPECT_THROW(not_a_zip.ReadDirectory(), ENotAZipFile);
  EXPECT_EQ(not_a_zip.ZipName(), "");  // cleared with the archive

  TUnZip bad(&host_);
  bad.SetZipName(path);
  bad.IncompleteZipMode = TIncompleteZipMode::AssumeBad;  // nothing to repair from
  EXPECT_THROW(bad.ReadDirectory(), EBadZipFile);

  TUnZip asked(&host_);
  asked.SetZipName(path);
  int calls = 0;
  asked.OnIncompleteZip = [&](TIncompleteZipMode& mode) {
    ++calls;
    mode = TIncompleteZipMode::AssumeNotAZip;
  };
  EXPECT_THROW(asked.ReadDirectory(), ENotAZipFile);
  EXPECT_EQ(calls, 1);
}

TEST_F(UnZipDirectory, MissingFileRaisesAndClearsTheName) {
  unzip_.SetZipName(dir_.File("missing.zip"));
  EXPECT_THROW(unzip_.ReadDirectory(), std::runtime_error);
  EXPECT_EQ(unzip_.ZipName(), "");
}

TEST_F(UnZipDirectory, SameNameInOtherCaseKeepsTheDirectory) {
  const std::string path = Write("Keep.zip", BuildZip(ThreeEntries()));
  Load(path);
  ASSERT_EQ(unzip_.EntryCount(), 3);
  std::filesystem::remove(path);  // the file is not touched again
  std::string upper = path;
  upper.replace(upper.size() - 8, 8, "KEEP.ZIP");
  unzip_.SetZipName(upper);
  EXPECT_EQ(unzip_.EntryCount(), 3);
  EXPECT_EQ(unzip_.ZipName(), path);
  unzip_.SetZipName(dir_.File("other.zip"));
  EXPECT_EQ(unzip_.EntryCount(), 0);
}

TEST_F(UnZipDirectory, ReloadsOnlyWhenTheFileChanged) {
  const std::string path = Write("r.zip", BuildZip(ThreeEntries()));
  Load(path);
  ASSERT_EQ(unzip_.EntryCount(), 3);
  FixtureArchive smaller;
  smaller.entries.push_back({.name = "only.txt", .data = "x"});
  Write("r.zip", BuildZip(smaller));
  std::filesystem::last_write_time(
      path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
  unzip_.ReadDirectory();
  EXPECT_EQ(Paths(unzip_), (std::vector<std::string>{"only.txt"}));
}

TEST_F(UnZipDirectory, ToleratesARecordDeclaringAnExtraFieldItLacks) {
  FixtureArchive archive = ThreeEntries();
  archive.entries[0].declared_central_extra = 24;
  archive.entries[0].comment = "c";
  Load(Write("t.zip", BuildZip(archive)));
  ASSERT_EQ(unzip_.EntryCount(), 3);
  EXPECT_EQ(unzip_.Entry(0).CentralExtraLength, 0);
  EXPECT_EQ(unzip_.Entry(0).OriginalCentralExtraLength, 24);
  EXPECT_FALSE(unzip_.ImproperZip());
}

TEST_F(UnZipDirectory, RepairsADamagedCentralDirectory) {
  const std::vector<std::string> in_order = {"one.txt", "dir\\two.txt", "three.bin"};
  struct {
    const char* what;
    FixtureArchive archive;
    std::vector<std::string> paths;
  } cases[] = {
      {"wrong central offset", ThreeEntries(), in_order},
      // The central records are merged into the entries found by the scan: both records
      // name the first local header, so the second one's name ends up there.
      {"duplicate local offsets", ThreeEntries(), {"dir\\two.txt", "dir\\two.txt", "three.bin"}},
      {"count too high", ThreeEntries(), in_order},
  };
  cases[0].archive.central_offset = 7;
  cases[2].archive.total_entries = 9;
  std::string duplicated = BuildZip(cases[1].archive);
  // Point the second central record at the first local header.
  const size_t second = duplicated.find("PK\x01\x02", duplicated.find("PK\x01\x02") + 4);
  duplicated.replace(second + 42, 4, std::string(4, '\0'));
  for (const auto& c : cases) {
    const std::string bytes =
        c.archive.total_entries || c.archive.central_offset ? BuildZip(c.archive) : duplicated;
    TUnZip unzip(&host_);
    unzip.SetZipName(Write("d.zip", bytes));
    unzip.ReadDirectory();
    EXPECT_TRUE(unzip.ImproperZip()) << c.what;
    EXPECT_EQ(Paths(unzip), c.paths) << c.what;
  }
}

TEST_F(UnZipDirectory, RepairScanAfterASelfExtractorStub) {
  FixtureArchive archive = ThreeEntries();
  archive.prefix = std::string(14100, 'M');
  archive.prefix.replace(100, 6, "PK\x03\x04\x14\x00", 6);  // a stray header inside the stub
  archive.adjust_offsets = false;
  const std::string bytes = BuildZip(archive);
  Load(Write("setup.EXE", bytes));
  EXPECT_TRUE(unzip_.ImproperZip());
  EXPECT_EQ(Paths(unzip_), (std::vector<std::string>{"one.txt", "dir\\two.txt", "three.bin"}));
  EXPECT_EQ(unzip_.Entry(0).EffectiveLocalHeaderOffset(), 14100u);
}

TEST_F(UnZipDirectory, PrefixWithAdjustedOffsetsNeedsNoRepair) {
  FixtureArchive archive = ThreeEntries();
  archive.prefix = "MZ stub of a self-extractor";
  Load(Write("sfx.exe", BuildZip(archive)));
  EXPECT_FALSE(unzip_.ImproperZip());
  EXPECT_EQ(unzip_.EntryCount(), 3);
}

TEST_F(UnZipDirectory, SideCarHoldsTheCentralDirectory) {
  const std::string whole = BuildZip(ThreeEntries());
  const size_t central = whole.find("PK\x01\x02");
  Write("split.zip", whole.substr(0, central));
  Write("split.zfc", whole.substr(central));
  Load(dir_.File("split.zip"));
  EXPECT_EQ(Paths(unzip_), (std::vector<std::string>{"one.txt", "dir\\two.txt", "three.bin"}));
  EXPECT_FALSE(unzip_.ImproperZip());
}

TEST_F(UnZipDirectory, CancelDuringLoadingRaises) {
  host_.on_pump = [&] { unzip_.Cancel(); };
  unzip_.SetZipName(Write("c.zip", BuildZip(ThreeEntries())));
  EXPECT_THROW(unzip_.ReadDirectory(), EUserCanceled);
  EXPECT_EQ(unzip_.EntryCount(), 0);
}

TEST_F(UnZipDirectory, PauseWaitsUntilReleased) {
  unzip_.SetPaused(true);
  host_.on_pump = [&] {
    if (host_.pumps == 3) unzip_.SetPaused(false);
  };
  Load(Write("p.zip", BuildZip(ThreeEntries())));
  EXPECT_EQ(host_.pause_waits, 2);
  EXPECT_EQ(unzip_.EntryCount(), 3);
}

TEST_F(UnZipDirectory, NoMessagesWithoutProcessMessages) {
  unzip_.DoProcessMessages = false;
  Load(Write("n.zip", BuildZip(ThreeEntries())));
  EXPECT_EQ(host_.pumps, 0);
}

TEST_F(UnZipDirectory, Zip64EndRecordAndEntries) {
  FixtureArchive archive = ThreeEntries();
  archive.zip64_end = true;
  archive.entries[1].zip64 = true;
  Load(Write("z.zip", BuildZip(archive)));
  EXPECT_EQ(Paths(unzip_), (std::vector<std::string>{"one.txt", "dir\\two.txt", "three.bin"}));
  EXPECT_EQ(unzip_.Entry(1).EffectiveUncompressedSize(), 12u);
}

TEST_F(UnZipDirectory, FolderEntry) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "folder/", .data = ""});
  Load(Write("f.zip", BuildZip(archive)));
  ASSERT_EQ(unzip_.EntryCount(), 1);
  EXPECT_EQ(unzip_.Entry(0).Directory, "folder\\");
  EXPECT_EQ(unzip_.Entry(0).FileName, "");
}

TEST_F(UnZipDirectory, NamesOfEveryOrigin) {
  FixtureArchive archive;
  // OEM 850 bytes of "Zähne\Brücke.txt", a UTF-8 flagged name, and a Unicode path field.
  archive.entries.push_back({.name = "Z\x84hne/Br\x81"
                                     "cke.txt",
                             .data = "a"});
  archive.entries.push_back({.name = "\xD0\x97\xD1\x83\xD0\xB1.txt", .data = "b", .flags = 0x0800});
  archive.entries.push_back({.name = "old.txt",
                             .data = "c",
                             .central_extra = klv::testing::UnicodePathBlock("neu/\xC3\xA4.txt")});
  Load(Write("names.zip", BuildZip(archive)));
  EXPECT_EQ(Paths(unzip_),
            (std::vector<std::string>{"Z\xC3\xA4hne\\Br\xC3\xBC"
                                      "cke.txt",
                                      "\xD0\x97\xD1\x83\xD0\xB1.txt", "neu\\\xC3\xA4.txt"}));
}

TEST_F(UnZipDirectory, CommentHoldingACopyOfTheEndSignature) {
  FixtureArchive archive = ThreeEntries();
  FixtureArchive inner;
  inner.entries.push_back({.name = "fake.txt", .data = "f"});
  archive.comment = BuildZip(inner);  // a whole small archive, end record last
  Load(Write("fake.zip", BuildZip(archive)));
  // The scan from the end takes the copy; its offsets do not fit, so the directory is
  // rebuilt from the local headers, which are the real ones first.
  EXPECT_TRUE(unzip_.ImproperZip());
  ASSERT_GE(unzip_.EntryCount(), 3);
  EXPECT_EQ(unzip_.Entry(0).Path(), "one.txt");
}

TEST_F(UnZipDirectory, OtherSortModeReordersTheIndexSpace) {
  unzip_.SortMode = TZipSortMode::ByName;
  Load(Write("s.zip", BuildZip(ThreeEntries())));
  EXPECT_EQ(Paths(unzip_), (std::vector<std::string>{"dir\\two.txt", "one.txt", "three.bin"}));
}

}  // namespace
}  // namespace klv::zip
