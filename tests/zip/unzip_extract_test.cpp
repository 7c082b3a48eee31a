#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/zip/unzip_test_support.h"
#include "tests/zip/zip_writer.h"
#include "zip/file_stream.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace klv::zip {
namespace {

using klv::testing::BuildZip;
using klv::testing::FixtureArchive;
using klv::testing::FixtureEntry;

std::string Text(size_t n) {
  std::string s;
  while (s.size() < n)
    s += "The practice opens at eight; patient " + std::to_string(s.size()) + ". ";
  s.resize(n);
  return s;
}

// Everything the component reported during one extraction.
struct Recorded {
  int32_t result = -1;
  std::vector<std::string> events;
  std::vector<int> total_percents;
  std::vector<int> file_percents;
  std::string output;
};

class UnZipExtract : public ::testing::Test {
 protected:
  // Loads the archive the way the apply phase does and extracts entry `index`.
  Recorded Extract(const FixtureArchive& archive, int index = 0) {
    return ExtractBytes(BuildZip(archive), index);
  }
  Recorded ExtractBytes(const std::string& bytes, int index = 0) {
    Recorded r;
    unzip_.SetZipName(dir_.Write("x" + std::to_string(++count_) + ".zip", bytes));
    unzip_.DoAll = true;
    unzip_.RecreateDirs = false;
    unzip_.OverwriteMode = TOverwriteMode::Always;
    unzip_.OnStartUnZipInfo = [&](int32_t files, int64_t bytes_total, bool&) {
      r.events.push_back("info " + std::to_string(files) + " " + std::to_string(bytes_total));
    };
    unzip_.OnStartUnZip = [&](int i, std::string& fname, bool&) {
      r.events.push_back("start " + std::to_string(i) + " '" + fname + "'");
    };
    unzip_.OnEndUnZip = [&](int i, const std::string&) {
      r.events.push_back("end " + std::to_string(i));
    };
    unzip_.OnTotalPercentDone = [&](int p) { r.total_percents.push_back(p); };
    unzip_.OnFilePercentDone = [&](int p) { r.file_percents.push_back(p); };
    unzip_.OnBadCRC = [&](uint32_t, uint32_t, int i) {
      r.events.push_back("badcrc " + std::to_string(i));
    };
    unzip_.OnSkippingFile = [&](TSkipReason reason, const std::string&, int i, bool&) {
      r.events.push_back(
          std::string(reason == TSkipReason::BadPassword ? "skip password " : "skip zip64 ") +
          std::to_string(i));
    };
    unzip_.OnUnZipComplete = [&](int32_t n) {
      r.events.push_back("complete " + std::to_string(n));
    };
    unzip_.ReadDirectory();
    r.result = unzip_.ExtractToStream(&output_, index);
    r.output = std::string(output_.View());
    return r;
  }

  klv::testing::TempDir dir_;
  klv::testing::RecordingHost host_;
  TUnZip unzip_{&host_};
  TMemoryStream output_;
  int count_ = 0;
};

TEST_F(UnZipExtract, StoredAndDeflatedEntriesComeOutVerified) {
  struct {
    const char* what;
    FixtureEntry entry;
  } const cases[] = {
      {"stored", {.name = "a.txt", .data = Text(70000)}},
      {"deflated", {.name = "b.txt", .data = Text(70000), .method = 8}},
      {"deflated, incompressible",
       {.name = "c.bin",
        .data =
            [] {
              std::string s(50000, '\0');
              uint32_t x = 1;
              for (char& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
              return s;
            }(),
        .method = 8}},
      {"data descriptor",
       {.name = "d.txt", .data = Text(1000), .method = 8, .data_descriptor = true}},
      {"zip64 entry", {.name = "e.txt", .data = Text(5000), .method = 8, .zip64 = true}},
  };
  for (const auto& c : cases) {
    FixtureArchive archive;
    archive.entries.push_back(c.entry);
    output_.SetSize(0);
    const Recorded r = Extract(archive);
    EXPECT_EQ(r.result, 1) << c.what;
    EXPECT_EQ(r.output, c.entry.data) << c.what;
  }
}

TEST_F(UnZipExtract, AnyTargetStreamGetsTheSameBytesAndEvents) {
  // A memory stream is decoded into in place; other streams take every block by Write.
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = Text(200000), .method = 8});
  const Recorded in_memory = Extract(archive);
  std::vector<int> percents;
  unzip_.OnTotalPercentDone = [&](int p) { percents.push_back(p); };
  TFileStream file(dir_.File("out.bin"), FileMode::kCreate);
  EXPECT_EQ(unzip_.ExtractToStream(&file, 0), 1);
  EXPECT_EQ(dir_.Read("out.bin"), in_memory.output);
  EXPECT_EQ(in_memory.output, Text(200000));
  EXPECT_EQ(percents, in_memory.total_percents);
  EXPECT_EQ(percents.size(), 7u);
}

TEST_F(UnZipExtract, EventsOfOneEntryInOrder) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = Text(100), .method = 8});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.events,
            (std::vector<std::string>{"info 1 100", "start 0 ''", "end 0", "complete 1"}));
}

TEST_F(UnZipExtract, FourProgressStepsFor100000Bytes) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = Text(100000), .method = 8});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.total_percents, (std::vector<int>{33, 66, 98, 100}));
  EXPECT_EQ(r.file_percents, (std::vector<int>{33, 66, 98, 100}));
}

TEST_F(UnZipExtract, EmptyStoredEntryWithCrcZero) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "empty.txt", .data = ""});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(r.total_percents.empty());
  EXPECT_EQ(output_.Size(), 0);
  EXPECT_EQ(r.events[2], "end 0");
}

TEST_F(UnZipExtract, BadCrcKeepsTheDecodedBytes) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "payload", .crc = 0x12345678});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.output, "payload");
  EXPECT_EQ(r.events[2], "badcrc 0");
}

TEST_F(UnZipExtract, StoredCrcZeroIsNotChecked) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "payload", .crc = 0});
  EXPECT_EQ(Extract(archive).result, 1);
}

TEST_F(UnZipExtract, OutputPastTheDeclaredSizeStopsAndTheCrcJudges) {
  const std::string data = Text(100000);
  struct {
    uint32_t crc;
    int result;
  } const cases[] = {{klv::testing::Crc32Of(data), 0}, {0, 1}};
  for (const auto& c : cases) {
    FixtureArchive archive;
    archive.entries.push_back(
        {.name = "a.txt", .data = data, .method = 8, .crc = c.crc, .uncompressed_size = 40000});
    output_.SetSize(0);
    const Recorded r = Extract(archive);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.output, data.substr(0, 32768) + std::string(40000 - 32768, '\0'));
  }
}

TEST_F(UnZipExtract, FolderOnlyArchiveMarksNothing) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "folder/", .data = ""});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.events, (std::vector<std::string>{"info 0 0", "complete 0"}));
}

TEST_F(UnZipExtract, FolderEntryBesideAFileCountsWithDoAll) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "folder/", .data = ""});
  archive.entries.push_back({.name = "folder/a.txt", .data = "x"});
  EXPECT_EQ(Extract(archive, 1).result, 2);
}

TEST_F(UnZipExtract, TruncatedDataAndShortDeflateStreams) {
  const std::string data = Text(50000);
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = data, .method = 8});
  std::string bytes = BuildZip(archive);
  // The archive ends inside the entry's data: central directory gone, end record kept.
  FixtureArchive truncated = archive;
  truncated.entries[0].compressed_size = klv::testing::RawDeflate(data).size() + 5000;
  EXPECT_THROW(Extract(truncated), EFatalUnzipError);

  FixtureArchive short_size = archive;
  short_size.entries[0].compressed_size = 100;
  try {
    Extract(short_size);
    FAIL();
  } catch (const EZCompressionError& e) {
    EXPECT_STREQ(e.what(), "error");
  }
}

TEST_F(UnZipExtract, GarbageDeflateDataFails) {
  FixtureArchive archive;
  archive.entries.push_back(
      {.name = "a.txt", .data = "x", .method = 8, .payload = std::string(64, '\xFF')});
  EXPECT_THROW(Extract(archive), EZCompressionError);
}

TEST_F(UnZipExtract, EncryptedEntriesAreSkipped) {
  struct {
    const char* what;
    FixtureEntry entry;
  } const cases[] = {
      {"traditional", {.name = "t.txt", .data = "secret", .flags = 1}},
      {"aes",
       {.name = "a.txt",
        .data = "secret",
        .method = 99,
        .central_extra = klv::testing::AesBlock(3, 8)}},
  };
  for (const auto& c : cases) {
    FixtureArchive archive;
    archive.entries.push_back(c.entry);
    const Recorded r = Extract(archive);
    EXPECT_EQ(r.result, 0) << c.what;
    EXPECT_EQ(r.events,
              (std::vector<std::string>{"info 1 6", "start 0 ''", "skip password 0", "complete 0"}))
        << c.what;
  }
}

TEST_F(UnZipExtract, UnknownMethodShowsOneMessage) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc", .method = 12});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(host_.messages, (std::vector<std::string>{"Zip Error: Unknown Compression Method"}));
  EXPECT_EQ(r.events[2], "badcrc 0");
}

TEST_F(UnZipExtract, UnknownMethodGoesToTheMessageHandlerWhenAssigned) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc", .method = 7});
  std::vector<int> ids;
  unzip_.OnHandleMessage = [&](int id, const std::string&, const std::string&, unsigned, int&) {
    ids.push_back(id);
  };
  EXPECT_EQ(Extract(archive).result, 0);
  EXPECT_EQ(ids, std::vector<int>{197});
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(UnZipExtract, WithoutAWindowTheUnknownMethodGoesToStandardErrorAtOnce) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc", .method = 14});
  TUnZip unzip;  // the default host
  unzip.SetZipName(dir_.Write("m.zip", BuildZip(archive)));
  unzip.ReadDirectory();
  ::testing::internal::CaptureStderr();
  const int32_t result = unzip.ExtractToStream(&output_, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Zip Error: Unknown Compression Method\n");
  EXPECT_EQ(result, 0);
}

TEST_F(UnZipExtract, Zip64MarkerWithoutBlockFailsTheEntryCleanly) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc", .zip64_without_block = true});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.events[1], "skip zip64 0");
}

TEST_F(UnZipExtract, HugeDeclaredSizeIsNotAllocatedUpFront) {
  FixtureArchive archive;
  archive.entries.push_back(
      {.name = "a.txt", .data = "abc", .method = 8, .crc = 0, .uncompressed_size = 0xFFFFFFF0});
  const Recorded r = Extract(archive);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.output, "abc");  // grown as data arrived, not sized to 4 GB

  FixtureArchive stored;
  stored.entries.push_back({.name = "s.txt", .data = "abc", .uncompressed_size = 3'000'000'000u});
  output_.SetSize(0);
  EXPECT_EQ(Extract(stored).output, "abc");
}

TEST_F(UnZipExtract, SkippedByTheStartHandler) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc"});
  unzip_.SetZipName(dir_.Write("s.zip", BuildZip(archive)));
  unzip_.DoAll = true;
  bool ended = false;
  unzip_.OnStartUnZip = [](int, std::string&, bool& skip) { skip = true; };
  unzip_.OnEndUnZip = [&](int, const std::string&) { ended = true; };
  unzip_.ReadDirectory();
  EXPECT_EQ(unzip_.ExtractToStream(&output_, 0), 0);
  EXPECT_FALSE(ended);
}

TEST_F(UnZipExtract, IndexOutOfRangeAndNullStream) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc"});
  unzip_.SetZipName(dir_.Write("i.zip", BuildZip(archive)));
  unzip_.ReadDirectory();
  EXPECT_EQ(unzip_.ExtractToStream(nullptr, 0), 0);
  try {
    unzip_.ExtractToStream(&output_, 1);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Index 1 is out of range");
  }
}

TEST_F(UnZipExtract, SelectedEntryOnlyWithoutDoAll) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "first"});
  archive.entries.push_back({.name = "b.txt", .data = "second", .method = 8});
  unzip_.SetZipName(dir_.Write("sel.zip", BuildZip(archive)));
  unzip_.ReadDirectory();
  EXPECT_EQ(unzip_.ExtractToStream(&output_, 1), 1);
  EXPECT_EQ(output_.View(), "second");
}

TEST_F(UnZipExtract, CancelDuringExtractionRaises) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = Text(100000)});  // read in 4 blocks
  unzip_.SetZipName(dir_.Write("c.zip", BuildZip(archive)));
  unzip_.ReadDirectory();
  bool complete = false;
  unzip_.OnUnZipComplete = [&](int32_t) { complete = true; };
  unzip_.OnTotalPercentDone = [&](int) { unzip_.Cancel(); };
  EXPECT_THROW(unzip_.ExtractToStream(&output_, 0), EUserCanceled);
  EXPECT_TRUE(complete);
}

TEST_F(UnZipExtract, ArchiveIsClosedAfterwardsUnlessKeptOpen) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "abc"});
  const std::string path = dir_.Write("k.zip", BuildZip(archive));
  unzip_.SetZipName(path);
  unzip_.ReadDirectory();
  EXPECT_EQ(unzip_.ExtractToStream(&output_, 0), 1);
  // The directory stays loaded; the next extraction opens the file again.
  output_.SetSize(0);
  EXPECT_EQ(unzip_.ExtractToStream(&output_, 0), 1);
  EXPECT_EQ(output_.View(), "abc");
}

}  // namespace
}  // namespace klv::zip
