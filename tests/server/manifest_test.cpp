// The manifest: what a good one gives, and a clear message for each kind of bad line.
#include "server/manifest.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace klv::sus {
namespace {

TEST(ManifestTest, ParsesEntriesSkippingCommentsBlankLinesAndLineEnds) {
  const std::string text =
      "\xEF\xBB\xBF# target\tversion\tarchive\r\n"
      "KLV.EXE\t6.15.0.0\tKLV_EXE.zip\r\n"
      "\r\n"
      "   \n"
      "$(System32)\\velmora.dll\t1.0.0.7\tvelmora-dll.zip\n"
      "/opt/Velmora/Caf\xC3\xA9.txt\t2\tcafe.zip";  // no line end on the last line
  const std::vector<ManifestEntry> entries = ParseManifest(text, "manifest.tsv");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].target, "KLV.EXE");
  EXPECT_EQ(entries[0].version, "6.15.0.0");
  EXPECT_EQ(entries[0].archive, "KLV_EXE.zip");
  EXPECT_EQ(entries[0].line, 2u);
  EXPECT_EQ(entries[1].target, "$(System32)\\velmora.dll");
  EXPECT_EQ(ArchiveBaseName(entries[1]), "velmora-dll");
  EXPECT_EQ(entries[2].target, "/opt/Velmora/Caf\xC3\xA9.txt");
  EXPECT_EQ(entries[2].line, 6u);
}

TEST(ManifestTest, EmptyManifestHasNoEntries) {
  EXPECT_TRUE(ParseManifest("", "m").empty());
  EXPECT_TRUE(ParseManifest("# nothing published yet\n", "m").empty());
}

struct BadManifest {
  const char* name;
  std::string text;
  std::string message;  // the whole message
};

class BadManifestTest : public ::testing::TestWithParam<BadManifest> {};

TEST_P(BadManifestTest, IsRejectedWithTheLineAndTheReason) {
  try {
    ParseManifest(GetParam().text, "m.tsv");
    FAIL() << "accepted";
  } catch (const ManifestError& error) {
    EXPECT_EQ(std::string(error.what()), GetParam().message);
  }
}

const std::string kGood = "KLV.EXE\t6.15.0.0\tKLV_EXE.zip\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, BadManifestTest,
    ::testing::Values(
        BadManifest{"TwoFields", "KLV.EXE\t6.15.0.0\n",
                    "m.tsv line 1: expected 3 tab-separated fields (target, version, archive), "
                    "found 2"},
        BadManifest{"FourFields", "# c\nKLV.EXE\t6\tK.zip\textra\n",
                    "m.tsv line 2: expected 3 tab-separated fields (target, version, archive), "
                    "found 4"},
        BadManifest{"SpacesNotTabs", "KLV.EXE 6.15.0.0 KLV_EXE.zip\n",
                    "m.tsv line 1: expected 3 tab-separated fields (target, version, archive), "
                    "found 1"},
        BadManifest{"EmptyTarget", "\t6\tK.zip\n", "m.tsv line 1: the target name is empty"},
        BadManifest{"BlankAroundTarget", " KLV.EXE\t6\tK.zip\n",
                    "m.tsv line 1: the target name \" KLV.EXE\" begins or ends with a blank"},
        BadManifest{"ControlInTarget", "KLV\x01.EXE\t6\tK.zip\n",
                    "m.tsv line 1: the target name holds a control character"},
        BadManifest{"InvalidUtf8Target", "KLV\xC3.EXE\t6\tK.zip\n",
                    "m.tsv line 1: the target name is not valid UTF-8"},
        BadManifest{"TargetOutside1252", "\xE6\x97\xA5.dll\t6\tK.zip\n",
                    "m.tsv line 1: the target name \"\xE6\x97\xA5.dll\" holds characters that "
                    "Windows-1252 cannot hold"},
        BadManifest{"EmptyVersion", "KLV.EXE\t\tK.zip\n", "m.tsv line 1: the version is empty"},
        BadManifest{"BlankInVersion", "KLV.EXE\t6 15\tK.zip\n",
                    "m.tsv line 1: the version \"6 15\" must be printable ASCII without blanks, "
                    "e.g. 6.15.0.0"},
        BadManifest{"ArchiveNotZip", "KLV.EXE\t6\tKLV.EXE\n",
                    "m.tsv line 1: the archive \"KLV.EXE\" must be a plain file name of letters, "
                    "digits, '.', '_' or '-' ending in \".zip\""},
        BadManifest{"ArchiveInSubfolder", "KLV.EXE\t6\tsub/K.zip\n",
                    "m.tsv line 1: the archive \"sub/K.zip\" must be a plain file name of "
                    "letters, digits, '.', '_' or '-' ending in \".zip\""},
        BadManifest{"ArchiveUpward", "KLV.EXE\t6\t..zip\n",
                    "m.tsv line 1: the archive \"..zip\" must be a plain file name of letters, "
                    "digits, '.', '_' or '-' ending in \".zip\""},
        BadManifest{"ArchiveOnlyExtension", "KLV.EXE\t6\t.zip\n",
                    "m.tsv line 1: the archive \".zip\" must be a plain file name of letters, "
                    "digits, '.', '_' or '-' ending in \".zip\""},
        BadManifest{"SameTargetOtherCase", kGood + "klv.exe\t6.16\tother.zip\n",
                    "m.tsv line 2: the target \"klv.exe\" is already listed on line 1"},
        BadManifest{"SameArchiveOtherCase", kGood + "x.dll\t1\tklv_exe.zip\n",
                    "m.tsv line 2: the archive \"klv_exe.zip\" is already used on line 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManifestTest, OversizedManifestIsRejectedBeforeParsing) {
  const std::string huge(kMaxManifestBytes + 1, '#');
  EXPECT_THROW(ParseManifest(huge, "m"), ManifestError);
}

TEST(ManifestTest, PlainFileNames) {
  struct Case {
    std::string name;
    bool plain;
  };
  const Case cases[] = {{"KLV_EXE.zip", true},
                        {"a-b.c_d", true},
                        {"", false},
                        {".hidden", false},
                        {"..", false},
                        {"a/b", false},
                        {"a\\b", false},
                        {"a%2Fb", false},
                        {"a b", false},
                        {std::string("a\0b", 3), false},
                        {"caf\xC3\xA9", false},
                        {std::string(kMaxFieldBytes, 'a'), true},
                        {std::string(kMaxFieldBytes + 1, 'a'), false}};
  for (const Case& c : cases) EXPECT_EQ(IsPlainFileName(c.name), c.plain) << c.name;
}

TEST(ManifestTest, LoadChecksThatEveryArchiveIsARegularFileOfTheFolder) {
  klv::testing::TempDir dir;
  dir.Write("KLV_EXE.zip", "zip");
  dir.Write("manifest.tsv", kGood);
  EXPECT_EQ(LoadManifest(dir.File("manifest.tsv"), dir.path()).size(), 1u);

  dir.Write("manifest.tsv", kGood + "x.dll\t1\tmissing.zip\n");
  try {
    LoadManifest(dir.File("manifest.tsv"), dir.path());
    FAIL() << "a missing archive was accepted";
  } catch (const ManifestError& error) {
    EXPECT_EQ(std::string(error.what()), dir.File("manifest.tsv") +
                                             " line 2: the archive \"missing.zip\" is not a "
                                             "regular file in " +
                                             dir.path());
  }

  // A link in the folder could lead anywhere: not served.
  ASSERT_EQ(::symlink("/etc/passwd", dir.File("linked.zip").c_str()), 0);
  dir.Write("manifest.tsv", "x.dll\t1\tlinked.zip\n");
  EXPECT_THROW(LoadManifest(dir.File("manifest.tsv"), dir.path()), ManifestError);

  EXPECT_THROW(LoadManifest(dir.File("absent.tsv"), dir.path()), ManifestError);
}

}  // namespace
}  // namespace klv::sus
