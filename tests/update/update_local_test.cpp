// The apply phase: pending archives installed over their targets, every outcome of a line.
#include "update/update_local.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/file_system.h"
#include "tests/support/engine_test.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"
#include "tests/zip/zip_writer.h"
#include "update/update_form.h"

namespace klv {
namespace {

std::string OneEntryZip(const std::string& content, uint16_t method = 8) {
  testing::FixtureArchive archive;
  archive.entries.push_back({.name = "payload.bin", .data = content, .method = method});
  return testing::BuildZip(archive);
}

class UpdateLocalTest : public testing::EngineTest {
 public:
  UpdateLocalTest() { platform::ForceDirectories(dir_.path() + "app"); }

  std::string App(const std::string& name) { return dir_.File("app/" + name); }

 protected:
  void Run() { UpdateLocal(Form()); }

  // A target name as the server gives it: Windows form, with a macro.
  std::string Target(const std::string& name) { return "$(KLV_TEST_APP)\\" + name; }
  std::string PendingList() { return ReadUpdate("update.list"); }

  testing::ScopedEnv app_{"KLV_TEST_APP", (dir_.path() + "app").c_str()};
};

TEST_F(UpdateLocalTest, WithoutPendingListNothingIsShownOrChanged) {
  Run();
  EXPECT_TRUE(Log().empty());
  EXPECT_FALSE(platform::FileExists(Update("update.list")));
}

TEST_F(UpdateLocalTest, EmptyPendingListIsSavedAgain) {
  WriteUpdate("update.list", "");
  Run();
  EXPECT_EQ(Log(), std::vector<std::string>{"Update local files..."});
  EXPECT_EQ(PendingList(), "");
}

TEST_F(UpdateLocalTest, InstallsEveryArchiveFromTheLastLineToTheFirst) {
  dir_.Write("app/a.dll", "old a");
  ::chmod(App("a.dll").c_str(), 0755);
  WriteUpdate("A.zip", OneEntryZip("new a"));
  WriteUpdate("B.zip", OneEntryZip(std::string(100000, 'b'), 0));
  WriteUpdate("update.list", Target("a.dll") + "=A\r\n" + Target("b.dll") + "=B\r\n");
  Run();
  EXPECT_EQ(dir_.Read("app/a.dll"), "new a");
  EXPECT_EQ(dir_.Read("app/b.dll"), std::string(100000, 'b'));
  struct stat st;
  ::stat(App("a.dll").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_EQ(PendingList(), "");
  EXPECT_FALSE(platform::FileExists(Update("A.zip")));
  EXPECT_FALSE(platform::FileExists(Update("B.zip")));
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Update local files...", "Updateing: " + Target("b.dll"),
                       "Extracting " + App("b.dll") + "...", "Updateing: " + Target("a.dll"),
                       "Extracting " + App("a.dll") + "..."}));
  EXPECT_EQ(Form().ErrorText(), "");
  // The bar shows the extraction and ends full.
  EXPECT_EQ(view_.maximum, 100);
  EXPECT_EQ(view_.position, 100);
}

// One line, every outcome: what happens to the target, the line and the archive.
struct Outcome {
  const char* name;
  std::function<void(UpdateLocalTest&)> arrange;
  const char* target_after;  // "(missing)" when there is no file
  bool line_removed;
  bool archive_left;
};

class OutcomeTest : public UpdateLocalTest, public ::testing::WithParamInterface<Outcome> {};

TEST_P(OutcomeTest, OfOneLine) {
  const Outcome& c = GetParam();
  dir_.Write("app/t.dll", "old");
  WriteUpdate("T.zip", OneEntryZip("new"));
  WriteUpdate("update.list", Target("t.dll") + "=T\r\n");
  c.arrange(*this);
  Run();
  EXPECT_EQ(platform::FileExists(App("t.dll")) ? dir_.Read("app/t.dll") : "(missing)",
            c.target_after);
  EXPECT_EQ(PendingList(), c.line_removed ? "" : Target("t.dll") + "=T\r\n");
  EXPECT_EQ(platform::FileExists(Update("T.zip")), c.archive_left);
  EXPECT_EQ(Form().ErrorText(), "") << "a line that stays pending shows no error";
}

INSTANTIATE_TEST_SUITE_P(
    UpdateLocal, OutcomeTest,
    ::testing::Values(
        Outcome{"ArchiveMissing",
                [](UpdateLocalTest& t) { std::remove(t.Update("T.zip").c_str()); }, "old", true,
                false},
        Outcome{"NotAZipArchive", [](UpdateLocalTest& t) { t.WriteUpdate("T.zip", "<html>"); },
                "old", false, true},
        Outcome{"TwoEntries",
                [](UpdateLocalTest& t) {
                  testing::FixtureArchive archive;
                  archive.entries = {{.name = "a", .data = "new"}, {.name = "b", .data = "x"}};
                  t.WriteUpdate("T.zip", testing::BuildZip(archive));
                },
                "old", false, true},
        Outcome{"BadCrc",
                [](UpdateLocalTest& t) {
                  testing::FixtureArchive archive;
                  archive.entries = {{.name = "a", .data = "new", .crc = 1234}};
                  t.WriteUpdate("T.zip", testing::BuildZip(archive));
                },
                "old", false, true},
        Outcome{
            "CutShortArchive",
            [](UpdateLocalTest& t) { t.WriteUpdate("T.zip", OneEntryZip("new").substr(0, 20)); },
            "old", false, true},
        Outcome{"ReadOnlyTargetIsMadeWritable",
                [](UpdateLocalTest& t) { platform::SetReadOnly(t.App("t.dll"), true); }, "new",
                true, false},
        Outcome{"TargetFolderMissing",
                [](UpdateLocalTest& t) { std::filesystem::remove_all(t.App("")); }, "(missing)",
                false, true}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return info.param.name; });

TEST_F(UpdateLocalTest, TwoLinesNamingTheSameArchive) {
  WriteUpdate("S.zip", OneEntryZip("shared"));
  WriteUpdate("update.list", Target("first.dll") + "=S\r\n" + Target("second.dll") + "=S\r\n");
  Run();
  // The later line is processed first and takes the archive; the other finds none.
  EXPECT_EQ(dir_.Read("app/second.dll"), "shared");
  EXPECT_FALSE(platform::FileExists(App("first.dll")));
  EXPECT_EQ(PendingList(), "");
}

TEST_F(UpdateLocalTest, LineWithoutEqualsIsRemoved) {
  WriteUpdate("update.list", "garbage\r\n");
  Run();
  EXPECT_EQ(PendingList(), "");
}

// Garbage with an end record that promises one central record: the directory can be neither
// read nor rebuilt from local headers.
std::string UnrepairableArchive() {
  std::string zip(100, 'x');
  testing::Put32(zip, 0x06054b50);
  testing::Put16(zip, 0);
  testing::Put16(zip, 0);
  testing::Put16(zip, 1);
  testing::Put16(zip, 1);
  testing::Put32(zip, 46);
  testing::Put32(zip, 0);
  testing::Put16(zip, 0);
  return zip;
}

TEST_F(UpdateLocalTest, DamagedArchiveEndsThePhaseWithAnError) {
  WriteUpdate("D.zip", UnrepairableArchive());
  WriteUpdate("G.zip", OneEntryZip("good"));
  WriteUpdate("update.list", Target("d.dll") + "=D\r\n" + Target("g.dll") + "=G\r\n");
  Run();
  const std::string error = Form().ErrorText();
  EXPECT_EQ(error.rfind("UpdateLocal: ", 0), 0u) << error;
  EXPECT_EQ(error.substr(error.size() - 2), "\r\r");
  // The later line was installed and its archive deleted, but the list was not saved.
  EXPECT_EQ(dir_.Read("app/g.dll"), "good");
  EXPECT_FALSE(platform::FileExists(Update("G.zip")));
  EXPECT_EQ(PendingList(), Target("d.dll") + "=D\r\n" + Target("g.dll") + "=G\r\n");
}

TEST_F(UpdateLocalTest, PendingListThatCannotBeSavedIsAnError) {
  WriteUpdate("T.zip", "not a zip archive");  // stays pending, so the list has a line to save
  WriteUpdate("update.list", Target("t.dll") + "=T\r\n");
  {
    testing::FileSizeLimit nothing_can_be_written(0);
    Run();
  }
  EXPECT_EQ(Form().ErrorText().rfind("UpdateLocal: System Error.  Code: ", 0), 0u)
      << Form().ErrorText();
  EXPECT_EQ(PendingList(), Target("t.dll") + "=T\r\n");
}

}  // namespace
}  // namespace klv
