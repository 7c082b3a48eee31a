#include "zip/end_of_central.h"

#include <gtest/gtest.h>

#include "tests/zip/zip_writer.h"
#include "zip/memory_stream.h"

namespace klv::zip {
namespace {

using klv::testing::BuildZip;
using klv::testing::FixtureArchive;

FixtureArchive OneEntry() {
  FixtureArchive archive;
  archive.entries.push_back({.name = "a.txt", .data = "hello"});
  return archive;
}

TEST(EndOfCentral, FindsTheRecordBehindTheLongestComment) {
  FixtureArchive archive = OneEntry();
  archive.comment = std::string(65535, 'c');
  const std::string zip = BuildZip(archive);
  TMemoryStream stream(zip);
  TEndOfCentral end;
  ASSERT_TRUE(end.Find(stream));
  EXPECT_EQ(end.TotalEntries, 1);
  EXPECT_EQ(end.CommentLength, 65535);
  EXPECT_EQ(end.CommentPosition, static_cast<int64_t>(zip.size()) - 65535);
}

TEST(EndOfCentral, ACopyOfTheSignatureInTheCommentIsTakenForTheRecord) {
  FixtureArchive archive = OneEntry();
  std::string fake = "PK\x05\x06";
  fake += std::string(6, '\0') + std::string("\x07\x00", 2) + std::string(10, '\0');
  archive.comment = "abc" + fake;
  TMemoryStream stream(BuildZip(archive));
  TEndOfCentral end;
  ASSERT_TRUE(end.Find(stream));
  EXPECT_EQ(end.TotalEntries, 7);
}

TEST(EndOfCentral, Zip64RecordReplacesTheMarkedFields) {
  FixtureArchive archive = OneEntry();
  archive.zip64_end = true;
  TMemoryStream stream(BuildZip(archive));
  TEndOfCentral end;
  ASSERT_TRUE(end.Find(stream));
  ASSERT_TRUE(end.Zip64Locator.has_value());
  ASSERT_TRUE(end.Zip64End.has_value());
  EXPECT_EQ(end.TotalEntries, 0xFFFF);
  EXPECT_EQ(end.EffectiveTotalEntries(), 1u);
  EXPECT_EQ(end.EffectiveCentralOffset(), 40u);  // 30-byte header, name and data
}

TEST(EndOfCentral, ShortStreams) {
  struct {
    size_t size;
    bool found;
  } const cases[] = {{0, true}, {1, false}, {21, false}, {22, false}};
  for (const auto& c : cases) {
    TMemoryStream stream(std::string(c.size, 'x'));
    TEndOfCentral end;
    EXPECT_EQ(end.Find(stream), c.found) << c.size;
  }
}

TEST(EndOfCentral, ResetClearsEverything) {
  FixtureArchive archive = OneEntry();
  archive.zip64_end = true;
  archive.comment = "hi";
  TMemoryStream stream(BuildZip(archive));
  TEndOfCentral end;
  ASSERT_TRUE(end.Find(stream));
  end.Reset();
  EXPECT_EQ(end.TotalEntries, 0);
  EXPECT_EQ(end.CommentLength, 0);
  EXPECT_FALSE(end.Zip64End.has_value());
  EXPECT_EQ(end.Signature, 0x06054B50u);
}

}  // namespace
}  // namespace klv::zip
