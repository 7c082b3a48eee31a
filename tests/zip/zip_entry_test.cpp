#include "zip/zip_entry.h"

#include <gtest/gtest.h>

#include "tests/zip/zip_writer.h"
#include "zip/memory_stream.h"

namespace klv::zip {
namespace {

using klv::testing::ExtraBlock;
using klv::testing::Put16;
using klv::testing::Put32;
using klv::testing::Put64;

// The central record of a one-entry archive made by the fixture writer.
std::string CentralRecordOf(const klv::testing::FixtureEntry& entry) {
  klv::testing::FixtureArchive archive;
  archive.entries.push_back(entry);
  const std::string zip = klv::testing::BuildZip(archive);
  return zip.substr(zip.find("PK\x01\x02"));
}

TEST(ZipEntry, ReadsACentralRecordAndSplitsItsName) {
  klv::testing::FixtureEntry fixture{.name = "dir/sub/file.txt", .data = "hello"};
  fixture.comment = "note";
  TMemoryStream stream(CentralRecordOf(fixture));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.Directory, "dir\\sub\\");
  EXPECT_EQ(entry.FileName, "file.txt");
  EXPECT_EQ(entry.EffectiveUncompressedSize(), 5u);
  EXPECT_EQ(entry.Crc32, klv::testing::Crc32Of("hello"));
  EXPECT_EQ(entry.CommentLength, 4);
  EXPECT_EQ(entry.CentralOffset, 0);
  EXPECT_EQ(stream.Position(), 46 + 16);  // left after the name
}

TEST(ZipEntry, AFailedReadLeavesTheStreamWhereTheRecordBegan) {
  std::string bytes = CentralRecordOf({.name = "a.txt", .data = "x"});
  const std::string cases[] = {
      "XX" + bytes.substr(2),  // wrong signature
      bytes.substr(0, 40),     // short fixed part
      bytes.substr(0, 48),     // short name
  };
  for (const std::string& c : cases) {
    TMemoryStream stream("pad" + c);
    stream.SetPosition(3);
    TZipEntryInfo entry;
    EXPECT_FALSE(entry.ReadCentral(stream));
    EXPECT_EQ(stream.Position(), 3);
  }
}

TEST(ZipEntry, Zip64BlockSuppliesTheMarkedValues) {
  klv::testing::FixtureEntry fixture{.name = "big", .data = "abc", .zip64 = true};
  TMemoryStream stream(CentralRecordOf(fixture));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.CompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(entry.EffectiveCompressedSize(), 3u);
  EXPECT_EQ(entry.EffectiveUncompressedSize(), 3u);
  EXPECT_EQ(entry.EffectiveLocalHeaderOffset(), 0u);
  EXPECT_TRUE(entry.HasZip64Values());
  EXPECT_EQ(entry.OriginalZip64ExtraLength, 28);
}

TEST(ZipEntry, Zip64MarkerWithoutBlockHasNoValues) {
  TMemoryStream stream(
      CentralRecordOf({.name = "big", .data = "abc", .zip64_without_block = true}));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_FALSE(entry.HasZip64Values());
}

TEST(ZipEntry, Zip64BlockTooShortForItsValuesLeavesThemOut) {
  std::string short_values;
  Put64(short_values, 3);  // only the uncompressed size of three marked values
  TMemoryStream stream(CentralRecordOf({.name = "big",
                                        .data = "abc",
                                        .central_extra = ExtraBlock(1, short_values),
                                        .zip64_without_block = true}));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.EffectiveUncompressedSize(), 3u);
  EXPECT_FALSE(entry.HasZip64Values());
}

TEST(ZipEntry, UnicodePathReplacesTheName) {
  TMemoryStream stream(CentralRecordOf(
      {.name = "x.txt",
       .data = "a",
       .central_extra = klv::testing::UnicodePathBlock("d\xC3\xA9/\xE6\x97\xA5.txt")}));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.Directory, "d\xC3\xA9\\");
  EXPECT_EQ(entry.FileName, "\xE6\x97\xA5.txt");
  ASSERT_TRUE(entry.UnicodePathInfo.has_value());
  EXPECT_EQ(entry.UnicodePathInfo->Version, 1);
}

TEST(ZipEntry, ABlockRunningPastTheFieldEndIsIgnored) {
  // A Unicode path block that claims 40 bytes but has 10.
  std::string block;
  Put16(block, 0x7075);
  Put16(block, 40);
  block += std::string("\x01\0\0\0\0evil!", 10);
  TMemoryStream stream(CentralRecordOf({.name = "good.txt", .data = "a", .central_extra = block}));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.FileName, "good.txt");
  EXPECT_FALSE(entry.UnicodePathInfo.has_value());
}

TEST(ZipEntry, AesBlockGivesTheActualMethodAndStrength) {
  TMemoryStream stream(CentralRecordOf(
      {.name = "s", .data = "a", .method = 99, .central_extra = klv::testing::AesBlock(3, 8)}));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.Method, 8);
  EXPECT_EQ(entry.EncryptionStrength, 3);
  EXPECT_TRUE(entry.Encrypted() || entry.AesInfo.has_value());
}

TEST(ZipEntry, Method99WithoutAesBlockReadsAsStored) {
  TMemoryStream stream(CentralRecordOf({.name = "s", .data = "a", .method = 99}));
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadCentral(stream));
  EXPECT_EQ(entry.Method, 0);
  EXPECT_EQ(entry.EncryptionStrength, 0);
}

TEST(ZipEntry, ReadsALocalHeaderAtItsPosition) {
  klv::testing::FixtureArchive archive{.prefix = "1234567"};
  archive.entries.push_back({.name = "dir/a.txt", .data = "hello", .local_extra = "xyzw"});
  TMemoryStream stream(klv::testing::BuildZip(archive));
  stream.SetPosition(7);
  TZipEntryInfo entry;
  ASSERT_TRUE(entry.ReadLocal(stream));
  EXPECT_EQ(entry.EffectiveLocalHeaderOffset(), 7u);
  EXPECT_EQ(entry.LocalExtraLength, 4);
  EXPECT_EQ(entry.FileName, "a.txt");
  EXPECT_EQ(entry.VersionMadeBy, 0);
  EXPECT_EQ(stream.Position(), 7 + 30 + 9);
}

TEST(ZipEntry, NewEntryDefaults) {
  TZipEntryInfo entry;
  EXPECT_EQ(entry.VersionMadeBy, 45);
  EXPECT_EQ(entry.Method, 8);
  EXPECT_EQ(entry.Crc32, 0xFFFFFFFFu);
  EXPECT_EQ(entry.InternalAttributes, 1);
  EXPECT_EQ(entry.ExternalAttributes, 0x20u);
}

TEST(ZipEntry, EffectiveSettersUseZip64AboveTheFieldRange) {
  TZipEntryInfo entry;
  entry.SetEffectiveUncompressedSize(5'000'000'000ull);
  EXPECT_EQ(entry.UncompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(entry.EffectiveUncompressedSize(), 5'000'000'000ull);
  entry.SetEffectiveUncompressedSize(12);
  EXPECT_EQ(entry.EffectiveUncompressedSize(), 12u);
}

uint32_t Dos(int year, int month, int day, int hour, int minute, int two_seconds) {
  return static_cast<uint32_t>(two_seconds | (minute << 5) | (hour << 11) | (day << 16) |
                               (month << 21) | ((year - 1980) << 25));
}

TEST(ClampDosDateTime, ClampsEachFieldToItsRange) {
  struct {
    uint32_t in, out;
  } const cases[] = {
      {Dos(2020, 5, 17, 13, 45, 10), Dos(2020, 5, 17, 13, 45, 10)},
      {Dos(2020, 5, 17, 31, 45, 10), Dos(2020, 5, 17, 23, 45, 10)},
      {Dos(2020, 5, 17, 13, 63, 10), Dos(2020, 5, 17, 13, 59, 10)},
      {Dos(2020, 5, 17, 13, 45, 31), Dos(2020, 5, 17, 13, 45, 29)},
      {Dos(2107, 5, 17, 13, 45, 10), Dos(2099, 5, 17, 13, 45, 10)},
      {Dos(2020, 0, 17, 13, 45, 10), Dos(2020, 1, 17, 13, 45, 10)},
      {Dos(2020, 15, 17, 13, 45, 10), Dos(2020, 12, 17, 13, 45, 10)},
      {Dos(2020, 5, 0, 13, 45, 10), Dos(2020, 5, 1, 13, 45, 10)},
      {0, Dos(1980, 1, 1, 0, 0, 0)},
  };
  for (const auto& c : cases) EXPECT_EQ(ClampDosDateTime(c.in), c.out) << std::hex << c.in;
}

}  // namespace
}  // namespace klv::zip
