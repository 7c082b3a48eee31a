#include "update/update_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_system.h"
#include "tests/support/temp_dir.h"

namespace klv {
namespace {

class UpdateFolderTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  UpdateFolder folder_ = UpdateFolderAt(dir_.path());
};

TEST_F(UpdateFolderTest, FolderIsFormedAndCreatedUnderTheCommonDataFolder) {
  testing::ScopedEnv appdata("KLV_COMMON_APPDATA", (dir_.path() + "data").c_str());
  const UpdateFolder folder = MakeUpdateFolder();
  EXPECT_EQ(folder.dir, dir_.path() + "data/Velmora/update/");
  EXPECT_EQ(folder.catalog_file, folder.dir + "update.file");
  EXPECT_EQ(folder.pending_file, folder.dir + "update.list");
  EXPECT_EQ(folder.log_file, folder.dir + "update.log");
  EXPECT_TRUE(platform::DirectoryExists(folder.dir));
}

TEST_F(UpdateFolderTest, FirstDownloadCreatesBothFiles) {
  RegisterDownload(folder_, "KLV.EXE", "6.14.0.0", "KLV_EXE");
  EXPECT_EQ(dir_.Read("update.list"), "KLV.EXE=KLV_EXE\r\n");
  EXPECT_EQ(dir_.Read("update.file"), "KLV.EXE=6.14.0.0\r\n");
}

TEST_F(UpdateFolderTest, RedownloadIntoAnotherArchiveDeletesTheEarlierOne) {
  dir_.Write("old.zip", "old");
  dir_.Write("update.list", "klv.exe=old\r\nz.dll=z\r\n");
  dir_.Write("update.file", "Klv.Exe=1.0.0.0\r\nz.dll=1\r\n");
  dir_.Write("new.zip", "new");
  RegisterDownload(folder_, "KLV.EXE", "2.0.0.0", "new");
  EXPECT_FALSE(platform::FileExists(dir_.File("old.zip")));
  EXPECT_TRUE(platform::FileExists(dir_.File("new.zip")));
  EXPECT_EQ(dir_.Read("update.list"), "KLV.EXE=new\r\nz.dll=z\r\n");
  EXPECT_EQ(dir_.Read("update.file"), "KLV.EXE=2.0.0.0\r\nz.dll=1\r\n");
}

TEST_F(UpdateFolderTest, RedownloadIntoTheSameArchiveKeepsIt) {
  dir_.Write("KLV_EXE.zip", "fresh");
  dir_.Write("update.list", "KLV.EXE=KLV_EXE\r\n");
  RegisterDownload(folder_, "KLV.EXE", "2.0.0.0", "KLV_EXE");
  EXPECT_EQ(dir_.Read("KLV_EXE.zip"), "fresh");
  EXPECT_EQ(dir_.Read("update.list"), "KLV.EXE=KLV_EXE\r\n");
}

TEST_F(UpdateFolderTest, OnlyTheFirstMatchingLineIsReplacedAndTheListsAreSorted) {
  dir_.Write("update.list", "b=1\r\na=x\r\nA=y\r\n");
  dir_.Write("update.file", "c=\r\nb=1\r\n");
  RegisterDownload(folder_, "a", "9", "n");
  EXPECT_EQ(dir_.Read("update.list"), "a=n\r\nA=y\r\nb=1\r\n");
  EXPECT_EQ(dir_.Read("update.file"), "a=9\r\nb=1\r\nc=\r\n");
}

TEST_F(UpdateFolderTest, Utf8FileWithMarkIsWrittenBackInWindows1252) {
  dir_.Write("update.file", "\xEF\xBB\xBFM\xC3\xBCller.dll=1\r\n");
  RegisterDownload(folder_, "KLV.EXE", "1", "k");
  EXPECT_EQ(dir_.Read("update.file"), "KLV.EXE=1\r\nM\xFCller.dll=1\r\n");
}

TEST_F(UpdateFolderTest, UnwritableListRaisesAndLeavesTheCatalogAlone) {
  // A folder in place of "update.list" makes saving it fail.
  ::mkdir(folder_.pending_file.c_str(), 0755);
  dir_.Write("update.file", "a=1\r\n");
  EXPECT_THROW(RegisterDownload(folder_, "a", "2", "a"), std::exception);
  EXPECT_EQ(dir_.Read("update.file"), "a=1\r\n");
}

TEST_F(UpdateFolderTest, ClearReadOnlyMakesAFileWritableAndIgnoresTheRest) {
  const std::string path = dir_.Write("update.list", "x");
  ASSERT_TRUE(platform::SetReadOnly(path, true));
  ClearReadOnly(path);
  EXPECT_EQ(platform::IsReadOnly(path), false);
  ClearReadOnly(dir_.File("missing"));  // nothing to do, nothing reported
  ClearReadOnly(dir_.path());           // a folder is not a file
}

}  // namespace
}  // namespace klv
