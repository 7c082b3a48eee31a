#include "common/pe_version_resource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/version.h"
#include "tests/common/pe_fixture.h"
#include "tests/support/temp_dir.h"

namespace klv {
namespace {

using testing::BuildPe;
using testing::PeFixture;
using testing::PeFixtureOptions;
using testing::PeLayout;
using testing::PutU16;
using testing::PutU32;

constexpr uint32_t kFileVersionMs = (3u << 16) | 1;  // 3.1.0.7, the fixtures' default
constexpr uint32_t kFileVersionLs = (0u << 16) | 7;
constexpr uint32_t kProductVersionMs = (9u << 16) | 8;
constexpr uint32_t kProductVersionLs = (7u << 16) | 6;

std::optional<FixedFileVersion> Read(std::string_view bytes) {
  MemoryByteSource source(bytes);
  return ReadFixedFileVersion(source);
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= uint32_t{static_cast<uint8_t>(bytes[offset + i])} << (8 * i);
  return value;
}

TEST(ReadFixedFileVersion, ReadsFileAndProductVersionOfEveryKind) {
  for (const bool plus : {false, true}) {
    for (const bool dll : {false, true}) {
      PeFixtureOptions options;
      options.pe32_plus = plus;
      options.dll = dll;
      const std::optional<FixedFileVersion> fixed = Read(BuildPe(options).bytes);
      ASSERT_TRUE(fixed) << "pe32_plus " << plus << ", dll " << dll;
      EXPECT_EQ(fixed->file_version_ms, kFileVersionMs);
      EXPECT_EQ(fixed->file_version_ls, kFileVersionLs);
      EXPECT_EQ(fixed->product_version_ms, kProductVersionMs);
      EXPECT_EQ(fixed->product_version_ls, kProductVersionLs);
    }
  }
}

TEST(ReadFixedFileVersion, TakesTheFirstLanguage) {
  PeFixtureOptions options;
  options.second_language = true;  // 5.5.5.5 after the first language's 3.1.0.7
  const std::optional<FixedFileVersion> fixed = Read(BuildPe(options).bytes);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->file_version_ms, kFileVersionMs);
  EXPECT_EQ(fixed->file_version_ls, kFileVersionLs);
}

TEST(ReadFixedFileVersion, NothingWithoutAVersionResource) {
  PeFixtureOptions no_version;
  no_version.with_version = false;
  PeFixtureOptions no_resources;
  no_resources.with_resources = false;
  EXPECT_FALSE(Read(BuildPe(no_version).bytes));
  EXPECT_FALSE(Read(BuildPe(no_resources).bytes));
  EXPECT_FALSE(Read(""));
  EXPECT_FALSE(Read("plain text, not a program"));
}

// One structure broken per case; `still_read` marks damage that the lookup does not depend
// on, so the version is still found.
struct Damage {
  const char* name;
  std::function<void(std::string&, const PeLayout&)> apply;
  bool still_read = false;
};

// The offset of a structure from the start of the resource section.
uint32_t InSection(const PeLayout& layout, size_t file_offset) {
  return static_cast<uint32_t>(file_offset - layout.rsrc_raw_data);
}

std::vector<Damage> Damages() {
  constexpr uint32_t kDir = 0x80000000;
  return {
      {"not_mz", [](std::string& b, const PeLayout&) { b[0] = 'Z'; }},
      {"lfanew_past_end", [](std::string& b, const PeLayout&) { PutU32(b, 0x3C, 0x7FFFFFF0); }},
      {"lfanew_max", [](std::string& b, const PeLayout&) { PutU32(b, 0x3C, 0xFFFFFFFF); }},
      {"lfanew_at_last_bytes",
       [](std::string& b, const PeLayout&) { PutU32(b, 0x3C, uint32_t(b.size() - 10)); }},
      {"pe_signature_wrong",
       [](std::string& b, const PeLayout& l) { b[l.pe_signature + 1] = 'X'; }},
      {"optional_magic_rom",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.optional_header, 0x107); }},
      {"optional_header_size_zero",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.file_header + 16, 0); }},
      {"optional_header_ends_before_resource_entry",
       [](std::string& b, const PeLayout& l) {
         PutU16(b, l.file_header + 16, uint16_t(l.resource_data_directory - l.optional_header + 4));
       }},
      {"optional_header_size_past_end",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.file_header + 16, 0xFFFF); }},
      {"two_data_directories_only",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.resource_data_directory - 20, 2); }},
      {"resource_rva_zero",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.resource_data_directory, 0); }},
      {"resource_rva_outside_sections",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.resource_data_directory, 0x9000); }},
      {"resource_rva_in_code_section",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.resource_data_directory, 0x1000); }},
      {"resource_directory_size_zero",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.resource_data_directory + 4, 0); },
       true},
      {"section_count_huge",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.file_header + 2, 0xFFFF); }},
      {"section_count_zero",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.file_header + 2, 0); }},
      {"rsrc_raw_pointer_past_end",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.rsrc_section_header + 20, 0x7FFFFF00);
       }},
      {"rsrc_raw_pointer_max",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.rsrc_section_header + 20, 0xFFFFFFFF);
       }},
      {"rsrc_raw_size_zero",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.rsrc_section_header + 16, 0); }},
      {"rsrc_raw_size_cuts_version_data",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.rsrc_section_header + 16, InSection(l, l.fixed_file_info));
       }},
      // Only bytes inside the file are read, so a section claiming more is harmless.
      {"rsrc_raw_size_max",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.rsrc_section_header + 16, 0xFFFFFFFF); },
       true},
      {"rsrc_address_wraps_round",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.rsrc_section_header + 12, 0xFFFFF000);
         PutU32(b, l.rsrc_section_header + 16, 0xFFFFFFFF);
       }},
      {"type_count_past_section",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.resource_root + 14, 0xFFFF); }},
      {"named_and_numbered_counts_max",
       [](std::string& b, const PeLayout& l) {
         PutU16(b, l.resource_root + 12, 0xFFFF);
         PutU16(b, l.resource_root + 14, 0xFFFF);
       }},
      {"type_entry_not_a_directory",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_type_entry + 4, GetU32(b, l.version_type_entry + 4) & ~kDir);
       }},
      {"type_entry_past_end",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_type_entry + 4, kDir | 0x7FFFFFF0);
       }},
      {"type_entry_renumbered",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_type_entry, 17); }},
      {"names_empty",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_names + 14, 0); }},
      {"name_entry_loops_to_root",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_names + 20, kDir | 0); }},
      {"name_entry_loops_to_itself",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_names + 20, kDir | InSection(l, l.version_names));
       }},
      {"name_entry_not_a_directory",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_names + 20, InSection(l, l.version_data_entry));
       }},
      {"languages_empty",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_languages + 14, 0); }},
      {"language_entry_loops_to_itself",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_languages + 20, kDir | InSection(l, l.version_languages));
       }},
      {"language_entry_loops_to_root",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_languages + 20, kDir | 0); }},
      {"language_entry_past_end",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_languages + 20, 0x7FFFFFF0); }},
      {"data_rva_past_end",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_data_entry, 0x7FFFFFF0); }},
      {"data_rva_max",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_data_entry, 0xFFFFFFFF); }},
      {"data_rva_in_code_section",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_data_entry, 0x1000); }},
      {"data_size_max",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_data_entry + 4, 0xFFFFFFFF); }},
      {"data_size_past_section",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_data_entry + 4, uint32_t(l.version_info_size + 0x1000));
       }},
      {"data_size_smaller_than_fixed_info",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.version_data_entry + 4, 60); }},
      {"data_size_smaller_than_block",
       [](std::string& b, const PeLayout& l) {
         PutU32(b, l.version_data_entry + 4, uint32_t(l.version_info_size - 4));
       }},
      {"block_length_too_small",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_info, 40); }},
      {"block_length_zero",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_info, 0); }},
      {"value_length_zero",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_info + 2, 0); }},
      {"value_length_short",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_info + 2, 51); }},
      {"key_misspelt",
       [](std::string& b, const PeLayout& l) { b[l.version_info + 6 + 2 * 14] = 'X'; }},
      {"key_unterminated",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_info + 6 + 30, 'X'); }},
      {"key_wide_character",
       [](std::string& b, const PeLayout& l) { PutU16(b, l.version_info + 6, 0x0156); }},
      {"fixed_info_signature_wrong",
       [](std::string& b, const PeLayout& l) { PutU32(b, l.fixed_file_info, 0xFEEF04BE); }},
  };
}

TEST(ReadFixedFileVersion, DamagedFiles) {
  for (const bool plus : {false, true}) {
    PeFixtureOptions options;
    options.pe32_plus = plus;
    const PeFixture fixture = BuildPe(options);
    for (const Damage& damage : Damages()) {
      std::string bytes = fixture.bytes;
      damage.apply(bytes, fixture.layout);
      ASSERT_NE(bytes, fixture.bytes) << damage.name;
      const std::optional<FixedFileVersion> fixed = Read(bytes);
      if (damage.still_read) {
        ASSERT_TRUE(fixed) << damage.name << ", pe32_plus " << plus;
        EXPECT_EQ(fixed->file_version_ms, kFileVersionMs) << damage.name;
      } else {
        EXPECT_FALSE(fixed) << damage.name << ", pe32_plus " << plus;
      }
    }
  }
}

TEST(ReadFixedFileVersion, EveryTruncation) {
  // The version is found exactly when the whole version resource is still in the file.
  for (const bool plus : {false, true}) {
    PeFixtureOptions options;
    options.pe32_plus = plus;
    const PeFixture fixture = BuildPe(options);
    const size_t needed = fixture.layout.version_info + fixture.layout.version_info_size;
    for (size_t length = 0; length <= fixture.bytes.size(); ++length) {
      const std::optional<FixedFileVersion> fixed =
          Read(std::string_view(fixture.bytes).substr(0, length));
      ASSERT_EQ(fixed.has_value(), length >= needed) << "length " << length;
      if (fixed) {
        EXPECT_EQ(fixed->file_version_ls, kFileVersionLs);
      }
    }
  }
}

// After a corruption the reader either fails or still reaches the one version block, and
// then answers the numbers that stand there (which the corruption may have changed).
void ExpectFailureOrTheBlock(const std::string& bytes, const PeLayout& layout, int* found,
                             const std::string& what) {
  const std::optional<FixedFileVersion> fixed = Read(bytes);
  if (!fixed) return;
  ++*found;
  EXPECT_EQ(fixed->file_version_ms, GetU32(bytes, layout.fixed_file_info + 8)) << what;
  EXPECT_EQ(fixed->file_version_ls, GetU32(bytes, layout.fixed_file_info + 12)) << what;
}

TEST(ReadFixedFileVersion, EveryByteWithTellingValues) {
  const PeFixture fixture = BuildPe();
  int found = 0;
  for (size_t pos = 0; pos < fixture.bytes.size(); ++pos) {
    const uint8_t original = static_cast<uint8_t>(fixture.bytes[pos]);
    for (const uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF, original ^ 0x80}) {
      std::string bytes = fixture.bytes;
      bytes[pos] = static_cast<char>(value);
      ExpectFailureOrTheBlock(bytes, fixture.layout, &found,
                              "byte " + std::to_string(pos) + " = " + std::to_string(value));
    }
  }
  EXPECT_GT(found, 0);
}

TEST(ReadFixedFileVersion, RandomCorruptions) {
  for (const bool plus : {false, true}) {
    PeFixtureOptions options;
    options.pe32_plus = plus;
    const PeFixture fixture = BuildPe(options);
    const PeLayout& layout = fixture.layout;
    // Half of the corruptions hit the headers and the resource structures, where they tell.
    const size_t headers_end = layout.section_table + 2 * 40;
    const size_t resources_end = layout.version_info + layout.version_info_size;
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> byte(0, 255);
    int found = 0;
    int failed = 0;
    constexpr int kRounds = 20000;
    for (int round = 0; round < kRounds; ++round) {
      std::string bytes = fixture.bytes;
      const int changes = 1 + round % 4;
      for (int i = 0; i < changes; ++i) {
        size_t pos = random() % bytes.size();
        if (random() % 2 == 0) {
          pos = random() % (headers_end + resources_end - layout.rsrc_raw_data);
          if (pos >= headers_end) pos += layout.rsrc_raw_data - headers_end;
        }
        bytes[pos] = static_cast<char>(byte(random));
      }
      const int before = found;
      ExpectFailureOrTheBlock(bytes, layout, &found, "round " + std::to_string(round));
      if (found == before) ++failed;
    }
    // Both outcomes occur, so the corruptions reach the structures without only breaking them.
    EXPECT_GT(found, kRounds / 10);
    EXPECT_GT(failed, kRounds / 10);
  }
}

// Counts the bytes that the reader takes from a source.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(ByteSource& inner) : inner_(inner) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool ReadAt(uint64_t offset, void* out, size_t length) override {
    bytes_read_ += length;
    return inner_.ReadAt(offset, out, length);
  }
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  ByteSource& inner_;
  uint64_t bytes_read_ = 0;
};

TEST(ReadFixedFileVersion, ReadsOnlyWhatItNeedsFromAHugeFile) {
  // A sparse 3 GB file whose resource section lies beyond the first 3,000,000,000 bytes.
  constexpr uint64_t kResourceOffset = 0xB2D05E00;  // 3,000,000,000 rounded to 512
  testing::TempDir dir;
  const PeFixture fixture = BuildPe();
  std::string headers = fixture.bytes.substr(0, fixture.layout.rsrc_raw_data);
  PutU32(headers, fixture.layout.rsrc_section_header + 20, static_cast<uint32_t>(kResourceOffset));
  const std::string path = dir.Write("huge.dll", headers);
  std::filesystem::resize_file(path, kResourceOffset);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << fixture.bytes.substr(fixture.layout.rsrc_raw_data);
    ASSERT_TRUE(out);
  }
  FileByteSource file(path);
  ASSERT_TRUE(file.is_open());
  ASSERT_GT(file.Size(), kResourceOffset);
  CountingSource counting(file);
  const std::optional<FixedFileVersion> fixed = ReadFixedFileVersion(counting);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->file_version_ls, kFileVersionLs);
  EXPECT_LT(counting.bytes_read(), 1024u);
  EXPECT_EQ(GetFileVersion(path), (TVersionNumber{3, 1, 0, 7}));
}

TEST(ReadFixedFileVersion, AgreesWithPefile) {
  // pefile, an independent PE parser, reads the same numbers from the generated files.
  testing::TempDir dir;
  std::vector<std::string> files;
  std::string expected;
  auto add = [&](const std::string& name, const PeFixtureOptions& options, const char* version) {
    files.push_back(dir.Write(name, BuildPe(options).bytes));
    expected += std::string(version) + "\t" + files.back() + "\n";
  };
  PeFixtureOptions options;
  add("pe32.exe", options, "3.1.0.7");
  options.dll = true;
  add("pe32.dll", options, "3.1.0.7");
  options.pe32_plus = true;
  add("pe32plus.dll", options, "3.1.0.7");
  options.dll = false;
  options.file_version = {65535, 32768, 255, 1};
  add("pe32plus.exe", options, "65535.32768.255.1");
  options = {};
  options.second_language = true;
  add("two_languages.exe", options, "3.1.0.7");
  options = {};
  options.with_version = false;
  add("no_version.exe", options, "0.0.0.0");
  options.with_resources = false;
  add("no_resources.dll", options, "0.0.0.0");
  files.push_back(dir.Write("notes.txt", "not a program\n"));
  expected += "0.0.0.0\t" + files.back() + "\n";
  files.push_back(dir.File("absent.exe"));
  expected += "-1.-1.-1.-1\t" + files.back() + "\n";

  std::string ours;
  for (const std::string& file : files)
    ours += VersionToStr(GetFileVersion(file)) + "\t" + file + "\n";
  EXPECT_EQ(ours, expected);
  std::string why;
  const std::optional<std::string> pefile = testing::PefileVersions(files, &why);
  if (!pefile) GTEST_SKIP() << "no comparison with pefile: " << why;
  EXPECT_EQ(*pefile, expected);
}

}  // namespace
}  // namespace klv
