// The updater's request document, and request bodies no updater would send.
#include "server/request_document.h"

#include <gtest/gtest.h>

namespace klv::sus {
namespace {

TEST(RequestDocumentTest, ReadsTheMachineFromWindows1252Bytes) {
  // As the updater sends it: no declaration, Windows-1252 bytes, CR LF at the end.
  const std::string body =
      "<klv source=\"KLV_UPD\" computer=\"PRAXIS-M\xDCLLER\" domain=\"SURGERY\" akixi=\"true\">"
      "<files><file name=\"$(System32)\\x.dll\" version=\"0.0.0.0\"/></files></klv>\r\n";
  const UpdateRequest request = ParseRequestDocument(body);
  EXPECT_EQ(request.computer, "PRAXIS-M\xC3\x9CLLER");
  EXPECT_EQ(request.domain, "SURGERY");
  EXPECT_EQ(request.source, "KLV_UPD");
}

TEST(RequestDocumentTest, BytesThatDifferBetweenWindows1252AndLatin1AreDecodedAs1252) {
  // 0x80 is the euro sign in Windows-1252 (a control character in Latin-1).
  EXPECT_EQ(ParseRequestDocument("<klv computer=\"PC\x80\"/>").computer, "PC\xE2\x82\xAC");
}

TEST(RequestDocumentTest, AnEmptyRequestHasNoComputer) {
  // What the updater sends when its request text gave no bytes.
  EXPECT_EQ(ParseRequestDocument("<klv>empty</klv>").computer, "");
  EXPECT_EQ(ParseRequestDocument("<klv computer=\"\"/>").computer, "");
}

TEST(RequestDocumentTest, EntitiesInTheNameAreResolved) {
  EXPECT_EQ(ParseRequestDocument("<klv computer=\"A&amp;B&#x43;\"/>").computer, "A&BC");
}

struct HostileBody {
  const char* name;
  std::string body;
};

class HostileRequestTest : public ::testing::TestWithParam<HostileBody> {};

TEST_P(HostileRequestTest, IsRefusedWithARequestError) {
  EXPECT_THROW(ParseRequestDocument(GetParam().body), RequestError);
}

std::string Nested(size_t depth) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += "<a>";
  for (size_t i = 0; i < depth; ++i) text += "</a>";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, HostileRequestTest,
    ::testing::Values(HostileBody{"Empty", ""}, HostileBody{"NotXml", "computer=PC1"},
                      HostileBody{"Unclosed", "<klv computer=\"PC1\"><files>"},
                      HostileBody{"OtherRoot", "<update computer=\"PC1\"/>"},
                      HostileBody{"RootInOtherCase", "<KLV computer=\"PC1\"/>"},
                      HostileBody{"TwoRoots", "<klv computer=\"A\"/><klv computer=\"B\"/>"},
                      HostileBody{"NulInside", std::string("<klv computer=\"A\0B\"/>", 21)},
                      // Deep nesting costs the parser no stack, only the size of the body.
                      HostileBody{"DeepUnderOtherRoot", "<x>" + Nested(100000) + "</x>"},
                      HostileBody{"DeepAndUnclosed", std::string(300000, '<')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RequestDocumentTest, AnUnknownEntityStaysAsWritten) {
  EXPECT_EQ(ParseRequestDocument("<klv computer=\"&evil;\"/>").computer, "&evil;");
}

TEST(RequestDocumentTest, DeclaredEntitiesAreNotExpanded) {
  // A "billion laughs" document: the DOCTYPE is skipped and the reference stays unexpanded
  // or is refused; either way the text cannot grow.
  std::string body = "<!DOCTYPE klv [<!ENTITY a \"aaaaaaaaaa\">";
  for (char c = 'b'; c <= 'j'; ++c) {
    body += std::string("<!ENTITY ") + c + " \"";
    for (int i = 0; i < 10; ++i) body += std::string("&") + static_cast<char>(c - 1) + ";";
    body += "\">";
  }
  body += "]><klv computer=\"&j;\"/>";
  try {
    const UpdateRequest request = ParseRequestDocument(body);
    EXPECT_LE(request.computer.size(), body.size());
  } catch (const RequestError&) {
  }
}

TEST(RequestDocumentTest, AnEncodingDeclarationDoesNotChangeHowBytesAreRead) {
  // The updater sends no declaration; one that claims UTF-16 must not make the bytes read
  // as UTF-16.
  EXPECT_EQ(
      ParseRequestDocument("<?xml version=\"1.0\" encoding=\"UTF-16\"?><klv computer=\"PC\xC9\"/>")
          .computer,
      "PC\xC3\x89");
}

}  // namespace
}  // namespace klv::sus
