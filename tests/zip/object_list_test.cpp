#include "zip/entry_list.h"

#include <gtest/gtest.h>

namespace klv::zip {
namespace {

std::unique_ptr<TZipEntryInfo> At(uint64_t offset, uint32_t disk = 0) {
  auto entry = std::make_unique<TZipEntryInfo>();
  entry->SetEffectiveLocalHeaderOffset(offset);
  entry->SetEffectiveDiskNumberStart(disk);
  return entry;
}

TEST(ZipEntryList, KeepsEntriesByDiskThenOffset) {
  TZipEntryList list(true, TDuplicates::Error, TZipSortMode::ByNone);
  for (auto [offset, disk] :
       {std::pair<uint64_t, uint32_t>{500, 0}, {100, 1}, {300, 0}, {5000000000, 0}}) {
    auto entry = At(offset, disk);
    list.Add(entry);
    EXPECT_EQ(entry, nullptr);  // the list holds it now
  }
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Items(0)->EffectiveLocalHeaderOffset(), 300u);
  EXPECT_EQ(list.Items(1)->EffectiveLocalHeaderOffset(), 500u);
  EXPECT_EQ(list.Items(2)->EffectiveLocalHeaderOffset(), 5'000'000'000u);
  EXPECT_EQ(list.Items(3)->EffectiveDiskNumberStart(), 1u);
  EXPECT_TRUE(list.Zip64());
  EXPECT_EQ(list.Find(*At(500)), 1);
  EXPECT_EQ(list.Find(*At(501)), -1);
}

TEST(ZipEntryList, DuplicatePolicies) {
  TZipEntryList raising(true, TDuplicates::Error, TZipSortMode::ByNone);
  auto first = At(10), second = At(10);
  raising.Add(first);
  EXPECT_THROW(raising.Add(second), EListError);
  EXPECT_NE(second, nullptr);  // not taken

  TZipEntryList ignoring(true, TDuplicates::Ignore, TZipSortMode::ByNone);
  auto a = At(10), b = At(10);
  ignoring.Add(a);
  EXPECT_EQ(ignoring.Add(b), -1);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(ignoring.Count(), 1);

  TZipEntryList accepting(true, TDuplicates::Accept, TZipSortMode::ByNone);
  auto c = At(10), d = At(10);
  accepting.Add(c);
  accepting.Add(d);
  EXPECT_EQ(accepting.Count(), 2);
}

TEST(ZipEntryList, IndexErrorsAndPut) {
  TZipEntryList list(true, TDuplicates::Error, TZipSortMode::ByNone);
  try {
    list.Items(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Index 3 is out of range");
  }
  EXPECT_THROW(list.Put(0, At(1)), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
}

TEST(ZipEntryList, CapacityGrowsBy4Then8ThenTheSquareRoot) {
  TZipEntryList list(true, TDuplicates::Error, TZipSortMode::ByNone);
  std::vector<int> capacities;
  for (int i = 0; i < 40; ++i) {
    auto entry = At(static_cast<uint64_t>(i));
    list.Add(entry);
    if (capacities.empty() || capacities.back() != list.Capacity()) {
      capacities.push_back(list.Capacity());
    }
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 20, 24, 29, 34, 40}));
}

TEST(ZipEntryList, OtherSortModesOrderByTheirValue) {
  TZipEntryList owner(true, TDuplicates::Error, TZipSortMode::ByNone);
  TZipEntryList by_name(false, TDuplicates::Accept, TZipSortMode::ByName);
  const char* names[] = {"b.txt", "A.txt", "c.txt"};
  for (int i = 0; i < 3; ++i) {
    auto entry = At(static_cast<uint64_t>(i));
    entry->FileName = names[i];
    TZipEntryInfo* raw = entry.get();
    owner.Add(entry);
    by_name.AddShared(raw);
  }
  EXPECT_EQ(by_name.Items(0)->FileName, "A.txt");
  EXPECT_EQ(by_name.Items(2)->FileName, "c.txt");
}

}  // namespace
}  // namespace klv::zip
