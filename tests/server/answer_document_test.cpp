// The answer document, read back the way the updater reads it.
#include "server/answer_document.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "platform/xml_document.h"
#include "update/download_updates.h"

namespace klv::sus {
namespace {

std::vector<ManifestEntry> Manifest() {
  return ParseManifest(
      "KLV.EXE\t6.15.0.0\tKLV_EXE.zip\n"
      "$(System32)\\a&b <\"x\">.dll\t1.0.0.0\tab.zip\n"
      "/opt/Velmora/Caf\xC3\xA9.txt\t2.0\tcafe.v2.zip\n",
      "m");
}

TEST(AnswerDocumentTest, ListsEveryComponentAndOffersTheChosenOnes) {
  EXPECT_EQ(BuildAnswerDocument(Manifest(), {0, 2}, "http://localhost"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<klv><files>"
            "<file name=\"KLV.EXE\"/>"
            "<file name=\"$(System32)\\a&amp;b &lt;&quot;x&quot;>.dll\"/>"
            "<file name=\"/opt/Velmora/Caf\xC3\xA9.txt\"/>"
            "</files><updates>"
            "<update name=\"KLV.EXE\" version=\"6.15.0.0\" "
            "url=\"http://localhost/update/1/sus/KLV_EXE\"/>"
            "<update name=\"/opt/Velmora/Caf\xC3\xA9.txt\" version=\"2.0\" "
            "url=\"http://localhost/update/3/sus/cafe.v2\"/>"
            "</updates></klv>");
}

TEST(AnswerDocumentTest, NothingToOfferGivesAnEmptyUpdatesElement) {
  const std::string answer = BuildAnswerDocument(Manifest(), {}, "http://localhost");
  EXPECT_NE(answer.find("<updates/>"), std::string::npos) << answer;
  EXPECT_EQ(BuildAnswerDocument({}, {}, "http://localhost"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><klv><files/><updates/></klv>");
}

// The updater's own reading: attribute values come back exactly, and each address gives
// the archive's base name as the updater's local archive name, so the name it records is
// the one the server published.
TEST(AnswerDocumentTest, TheUpdaterReadsBackEveryNameAndItsArchive) {
  const std::vector<ManifestEntry> manifest = Manifest();
  platform::XmlDocument document;
  document.Parse(BuildAnswerDocument(manifest, {0, 1, 2}, "http://updates.example"));
  const platform::XmlNode klv = document.FirstTopLevel("klv");
  ASSERT_FALSE(klv.empty());
  const std::vector<platform::XmlNode> files = klv.FirstChild("files").Children();
  const std::vector<platform::XmlNode> updates = klv.FirstChild("updates").Children();
  ASSERT_EQ(files.size(), manifest.size());
  ASSERT_EQ(updates.size(), manifest.size());
  for (size_t i = 0; i < manifest.size(); ++i) {
    EXPECT_EQ(files[i].Attribute("name"), manifest[i].target);
    EXPECT_EQ(updates[i].Attribute("name"), manifest[i].target);
    EXPECT_EQ(updates[i].Attribute("version"), manifest[i].version);
    const std::string url = updates[i].Attribute("url");
    EXPECT_EQ(url.rfind("http://updates.example/update/", 0), 0u) << url;
    EXPECT_EQ(ArchiveNameFromUrl(url), ArchiveBaseName(manifest[i]));
    EXPECT_EQ(ExtractFileBaseName(ArchiveNameFromUrl(url) + ".zip"), ArchiveBaseName(manifest[i]));
  }
}

}  // namespace
}  // namespace klv::sus
