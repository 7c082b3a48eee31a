// The service over HTTP on a loopback port: answers, archives, path safety, body limits and
// the request log.
#include "server/sus_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sqlite3.h>

#include <random>

#include "server/archive_file.h"
#include "server/bounded_server.h"
#include "tests/server/service_fixture.h"

namespace klv::sus {
namespace {

using testing::BodyOf;
using testing::Exchange;
using testing::GetRequest;
using testing::PostRequest;
using testing::RequestBody;
using testing::StatusOf;

// Incompressible bytes, larger than one streamed chunk.
std::string ArchiveBytes(size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

const std::string kSecret = "SECRET-NOT-PUBLISHED";

class SusServiceTest : public ::testing::Test {
 protected:
  SusServiceTest()
      : big_(ArchiveBytes(3 * ArchiveFile::kChunkBytes + 123)),
        service_("KLV.EXE\t6.15.0.0\tKLV_EXE.zip\n$(System32)\\x.dll\t1.0.0.0\tx.zip\n",
                 {{"KLV_EXE.zip", big_}, {"x.zip", "small"}, {"secret.zip", kSecret}}) {}

  std::string Post(const std::string& body) { return Exchange(service_.port(), PostRequest(body)); }
  std::string Get(const std::string& path) { return Exchange(service_.port(), GetRequest(path)); }

  std::string big_;
  testing::RunningService service_;
};

TEST_F(SusServiceTest, AnswersTheRequestAndOffersNothingNewTheSecondTime) {
  const std::string first = Post(RequestBody("PC1"));
  ASSERT_EQ(StatusOf(first), 200) << first;
  EXPECT_NE(first.find("Content-Type: text/xml; charset=UTF-8"), std::string::npos) << first;
  EXPECT_EQ(BodyOf(first),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><klv><files><file name=\"KLV.EXE\"/>"
            "<file name=\"$(System32)\\x.dll\"/></files><updates>"
            "<update name=\"KLV.EXE\" version=\"6.15.0.0\" "
            "url=\"http://localhost/update/1/sus/KLV_EXE\"/>"
            "<update name=\"$(System32)\\x.dll\" version=\"1.0.0.0\" "
            "url=\"http://localhost/update/2/sus/x\"/></updates></klv>");

  const std::string second = Post(RequestBody("PC1"));
  ASSERT_EQ(StatusOf(second), 200);
  EXPECT_EQ(BodyOf(second),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><klv><files><file name=\"KLV.EXE\"/>"
            "<file name=\"$(System32)\\x.dll\"/></files><updates/></klv>");
}

TEST_F(SusServiceTest, StreamsThePublishedArchiveWhole) {
  const std::string response = Get("/update/1/sus/KLV_EXE");
  ASSERT_EQ(StatusOf(response), 200);
  EXPECT_NE(response.find("Content-Length: " + std::to_string(big_.size())), std::string::npos);
  EXPECT_TRUE(BodyOf(response) == big_) << "the archive bytes differ";
  // The number in the address is not what picks the archive.
  EXPECT_EQ(BodyOf(Get("/update/99/sus/x")), "small");
}

TEST_F(SusServiceTest, NoPathReachesAFileThatIsNotAPublishedArchive) {
  const char* paths[] = {"/update/1/sus/secret",
                         "/update/1/sus/../secret.zip",
                         "/update/1/sus/..%2Fsecret",
                         "/update/1/sus/%2e%2e%2fsecret",
                         "/update/1/sus/..%5Csecret",
                         "/update/1/sus/KLV_EXE%00",
                         "/update/1/sus/KLV_EXE%2F",
                         "/update/1/sus/KLV_EXE.zip",
                         "/update/1/sus/manifest",
                         "/update/1/sus/sus",
                         "/update/1/sus/",
                         "/update/x/sus/KLV_EXE",
                         "/update/1/sus/x/../secret",
                         "/update/1/sus/%2Ftmp%2Fsecret",
                         "/secret.zip",
                         "/manifest.tsv",
                         "/update/1/sus/../../../../etc/passwd"};
  for (const char* path : paths) {
    const std::string response = Get(path);
    EXPECT_EQ(StatusOf(response), 404) << path;
    EXPECT_EQ(response.find(kSecret), std::string::npos) << path;
    EXPECT_EQ(response.find("KLV.EXE\t"), std::string::npos) << path;
  }
}

TEST_F(SusServiceTest, AnArchiveReplacedByALinkIsNotFollowed) {
  const std::string archive = service_.dir().File("served/x.zip");
  ASSERT_EQ(::unlink(archive.c_str()), 0);
  ASSERT_EQ(::symlink(service_.dir().File("served/secret.zip").c_str(), archive.c_str()), 0);
  const std::string response = Get("/update/2/sus/x");
  EXPECT_EQ(StatusOf(response), 404);
  EXPECT_EQ(response.find(kSecret), std::string::npos);
}

// A request document padded with blanks to exactly `size` bytes.
std::string BodyOfSize(size_t size) {
  std::string body = RequestBody("PC1");
  body.insert(body.find("<files>"), size - body.size(), ' ');
  return body;
}

std::string Chunked(const std::string& body) {
  std::string request =
      "POST /sus HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
      "Transfer-Encoding: chunked\r\n\r\n";
  constexpr size_t kChunk = 60000;
  for (size_t at = 0; at < body.size(); at += kChunk) {
    const std::string part = body.substr(at, kChunk);
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", part.size());
    request += size + part + "\r\n";
  }
  return request + "0\r\n\r\n";
}

TEST_F(SusServiceTest, RequestBodiesAreLimitedToOneMegabyte) {
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  const Case cases[] = {
      {"exactly 1 MB", PostRequest(BodyOfSize(kMaxRequestBytes)), 200},
      {"1 MB + 1 byte", PostRequest(BodyOfSize(kMaxRequestBytes + 1)), 413},
      {"declared 1 GB, nothing sent",
       "POST /sus HTTP/1.1\r\nHost: x\r\nContent-Length: 1073741824\r\n\r\n", 413},
      {"chunked, exactly 1 MB", Chunked(BodyOfSize(kMaxRequestBytes)), 200},
      {"chunked, 1 MB + 1 byte", Chunked(BodyOfSize(kMaxRequestBytes + 1)), 413},
      {"compressed",
       "POST /sus HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\nabcd",
       415},
      {"length not a number", "POST /sus HTTP/1.1\r\nHost: x\r\nContent-Length: 12abc\r\n\r\n",
       400},
      {"a body elsewhere",
       "POST /update/1/sus/x HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc", 404},
  };
  for (const Case& c : cases) {
    const std::string response = Exchange(service_.port(), c.request);
    EXPECT_EQ(StatusOf(response), c.status) << c.name << "\n" << response.substr(0, 300);
  }
}

TEST_F(SusServiceTest, ARefusedBodyIsNeverTakenForTheNextRequest) {
  // The refused body holds what looks like a request; the connection ends instead.
  const std::string smuggled = GetRequest("/update/2/sus/x");
  const std::string request =
      "POST /sus HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\n"
      "Content-Length: " +
      std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled;
  const std::string response = Exchange(service_.port(), request);
  EXPECT_EQ(StatusOf(response), 415);
  EXPECT_EQ(response.find("small"), std::string::npos) << response;
}

TEST_F(SusServiceTest, HostileRequestDocumentsAreRefusedAndTheServerGoesOn) {
  const std::string bodies[] = {"",
                                "not xml",
                                "<KLV computer=\"PC1\"/>",
                                "<klv computer=\"PC1\">",
                                std::string(500000, '<'),
                                "<!DOCTYPE klv [<!ENTITY a \"aaaa\">]><klv computer=\"&a;&a;\"/>"};
  for (const std::string& body : bodies) {
    const std::string response = Post(body);
    const int status = StatusOf(response);
    EXPECT_TRUE(status == 400 || status == 200) << body.substr(0, 60) << ": " << status;
  }
  EXPECT_EQ(StatusOf(Post("not xml")), 400);
  EXPECT_EQ(StatusOf(Post(RequestBody("PC9"))), 200);
}

TEST_F(SusServiceTest, ADatabaseFailureIsAServerErrorAndTheArchivesAreStillServed) {
  // Another program breaks the database under the running server.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(service_.dir().File("served/sus.db").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "DROP TABLE deliveries", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  const std::string response = Post(RequestBody("PC1"));
  EXPECT_EQ(StatusOf(response), 500);
  EXPECT_NE(BodyOf(response).find("no such table"), std::string::npos) << response;
  const std::vector<std::string> lines = service_.LogLines(2);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("error: ", 0), 0u) << lines[0];
  EXPECT_EQ(StatusOf(Get("/update/2/sus/x")), 200);
}

TEST_F(SusServiceTest, AnEndlessRequestLineEndsTheConnectionWithoutUnboundedReading) {
  // More than the read budget of one request, without a line end.
  const std::string response =
      Exchange(service_.port(), std::string(kRequestReadBudget + 65536, 'A'));
  EXPECT_NE(StatusOf(response), 200);
  EXPECT_EQ(StatusOf(Get("/update/2/sus/x")), 200);
}

TEST_F(SusServiceTest, LogsOneLinePerRequestWithMethodPathStatusAndBytes) {
  Post(RequestBody("PC1"));
  Get("/update/2/sus/x");
  Get("/update/1/sus/a%0Ab");  // a line end in the path must not split the log line
  const std::vector<std::string> lines = service_.LogLines(3);
  ASSERT_EQ(lines.size(), 3u);
  const std::string port = std::to_string(service_.port());
  const std::string post = "127.0.0.1 :" + port + " POST /sus 200 ";
  ASSERT_EQ(lines[0].rfind(post, 0), 0u) << lines[0];
  EXPECT_GT(std::stoul(lines[0].substr(post.size())), 0u) << lines[0];
  EXPECT_EQ(lines[1], "127.0.0.1 :" + port + " GET /update/2/sus/x 200 5");
  EXPECT_EQ(lines[2].find('\n'), std::string::npos);
  EXPECT_NE(lines[2].find("/update/1/sus/a%0Ab 404"), std::string::npos) << lines[2];
}

TEST(EscapeForLogTest, KeepsPrintableAsciiAndEscapesTheRest) {
  EXPECT_EQ(EscapeForLog("/update/1/sus/KLV_EXE"), "/update/1/sus/KLV_EXE");
  EXPECT_EQ(EscapeForLog(std::string("a b\r\n\x7F\xC3\xA9%\0", 10)), "a%20b%0D%0A%7F%C3%A9%25%00");
}

}  // namespace
}  // namespace klv::sus
