// The memory of what was sent to which computer.
#include "server/delivery_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/temp_dir.h"

namespace klv::sus {
namespace {

std::vector<ManifestEntry> Manifest(const std::string& klv_version) {
  return ParseManifest("KLV.EXE\t" + klv_version +
                           "\tKLV_EXE.zip\n"
                           "$(System32)\\x.dll\t1.0.0.0\tx.zip\n",
                       "m");
}

// "YYYY-MM-DDTHH:MM:SSZ"
bool IsUtcTime(const std::string& text) {
  const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

class DeliveryStoreTest : public ::testing::Test {
 protected:
  klv::testing::TempDir dir_;
  std::string path_ = dir_.File("sus.db");
};

TEST_F(DeliveryStoreTest, ASecondRequestIsOfferedNothingNew) {
  DeliveryStore store(path_);
  EXPECT_EQ(store.OfferUnsent("PC1", Manifest("6.15.0.0")), (std::vector<size_t>{0, 1}));
  EXPECT_EQ(store.OfferUnsent("PC1", Manifest("6.15.0.0")), std::vector<size_t>{});
}

TEST_F(DeliveryStoreTest, ANewVersionIsOfferedAgainAndOnlyIt) {
  DeliveryStore store(path_);
  store.OfferUnsent("PC1", Manifest("6.15.0.0"));
  EXPECT_EQ(store.OfferUnsent("PC1", Manifest("6.16.0.0")), std::vector<size_t>{0});
  EXPECT_EQ(store.OfferUnsent("PC1", Manifest("6.16.0.0")), std::vector<size_t>{});
}

TEST_F(DeliveryStoreTest, EachComputerHasItsOwnMemory) {
  DeliveryStore store(path_);
  store.OfferUnsent("PC1", Manifest("6.15.0.0"));
  EXPECT_EQ(store.OfferUnsent("PC2", Manifest("6.15.0.0")), (std::vector<size_t>{0, 1}));
  // Names are the updater's (upper-case) computer names, kept exactly.
  EXPECT_EQ(store.OfferUnsent("pc1", Manifest("6.15.0.0")), (std::vector<size_t>{0, 1}));
}

TEST_F(DeliveryStoreTest, AComputerWithoutANameIsOfferedEverythingAndNothingIsKept) {
  DeliveryStore store(path_);
  EXPECT_EQ(store.OfferUnsent("", Manifest("6.15.0.0")), (std::vector<size_t>{0, 1}));
  EXPECT_EQ(store.OfferUnsent("", Manifest("6.15.0.0")), (std::vector<size_t>{0, 1}));
  EXPECT_TRUE(store.History("").empty());
}

TEST_F(DeliveryStoreTest, TheMemorySurvivesARestartWithTheTimeOfEachDelivery) {
  {
    DeliveryStore store(path_);
    store.OfferUnsent("PC1", Manifest("6.15.0.0"));
  }
  DeliveryStore reopened(path_);
  EXPECT_EQ(reopened.OfferUnsent("PC1", Manifest("6.15.0.0")), std::vector<size_t>{});
  const std::vector<Delivery> history = reopened.History("PC1");
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].target, "KLV.EXE");
  EXPECT_EQ(history[0].version, "6.15.0.0");
  EXPECT_EQ(history[0].archive, "KLV_EXE.zip");
  EXPECT_TRUE(IsUtcTime(history[0].sent_at)) << history[0].sent_at;
}

TEST_F(DeliveryStoreTest, ConcurrentRequestsOfOneComputerGetEachEntryOnce) {
  DeliveryStore store(path_);
  const std::vector<ManifestEntry> manifest = Manifest("6.15.0.0");
  std::atomic<size_t> offered{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] { offered += store.OfferUnsent("PC1", manifest).size(); });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(offered.load(), manifest.size());
}

TEST_F(DeliveryStoreTest, ADatabaseThatCannotBeOpenedIsReported) {
  EXPECT_THROW(DeliveryStore(dir_.File("no/such/folder/sus.db")), StoreError);
  dir_.Write("garbage.db", std::string(4096, 'x'));
  EXPECT_THROW(DeliveryStore(dir_.File("garbage.db")), StoreError);
}

}  // namespace
}  // namespace klv::sus
