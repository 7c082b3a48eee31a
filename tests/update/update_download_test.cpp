// The download phase against loopback servers: request, ports, answers, downloads.
#include "update/update_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>

#include "common/ini_file.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "tests/support/engine_test.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"
#include "update/download_updates.h"
#include "update/update_form.h"

namespace klv {
namespace {

using testing::HttpAnswer;
using testing::HttpRequest;
using testing::HttpTestServer;

std::string Ok(const std::string& body) {
  return HttpAnswer(200, "OK", body);
}

class UpdateDownloadTest : public testing::EngineTest {
 protected:
  bool Run(int first_port, int second_port) {
    return UpdateDownload(Form(), ServerAddress{"http://127.0.0.1", first_port, second_port});
  }
  std::string Port85() {
    return IniFile(startup_.settings_file).ReadString("Velmora", "Port85", "(absent)");
  }
};

TEST_F(UpdateDownloadTest, RequestNamesTheMachineAndItsCatalogInWindows1252) {
  // UTF-8 with a byte-order mark, so that the last name holds a letter Windows-1252 lacks.
  WriteUpdate("update.file",
              "\xEF\xBB\xBFKLV.EXE=6.14.0.0\r\n$(System32)\\x.dll=1.0.0.0\r\nabc\r\n=1.0\r\n"
              "a&b<\xD0\x96>=2\r\n");
  dir_.Write("pf/Velmora/Akixi.exe", "");
  HttpTestServer server([](const HttpRequest&) { return Ok("<klv/>"); });
  EXPECT_TRUE(Run(server.port(), testing::UnusedPort()));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const HttpRequest& post = requests[0];
  EXPECT_EQ(post.method, "POST");
  EXPECT_EQ(post.target, "/sus");
  EXPECT_EQ(post.Header("user-agent"), "Velmora");
  EXPECT_EQ(post.Header("content-type"), "application/x-www-form-urlencoded");
  const std::string computer = platform::GetLocalComputerName();
  const std::string domain = platform::GetLocalDomainName();
  EXPECT_EQ(post.body, "<klv source=\"KLV_UPD\" computer=\"" + computer + "\" domain=\"" + domain +
                           "\" akixi=\"true\"><files>"
                           "<file name=\"KLV.EXE\" version=\"0.0.0.0\"/>"
                           "<file name=\"$(System32)\\x.dll\" version=\"0.0.0.0\"/>"
                           "<file name=\"abc\" version=\"0.0.0.0\"/>"
                           "<file name=\"=1.0\" version=\"0.0.0.0\"/>"
                           "<file name=\"a&amp;b&lt;?>\" version=\"0.0.0.0\"/>"
                           "</files></klv>\r\n");
  const std::vector<std::string> expected_start = {
      "Checking for updates...",
      "UpdateDownload: SND",
      "UpdateDownload: Load",
      "UpdateDownload: Check KLV.EXE 6.14.0.0/-1.-1.-1.-1",  // relative: no such file here
      "UpdateDownload: Check " + dir_.path() + "sys/x.dll 1.0.0.0/-1.-1.-1.-1",
  };
  ASSERT_GE(Log().size(), expected_start.size());
  EXPECT_EQ(std::vector<std::string>(Log().begin(), Log().begin() + expected_start.size()),
            expected_start);
  EXPECT_TRUE(Logged("UpdateDownload: XML"));
}

TEST_F(UpdateDownloadTest, WithoutCatalogTheRequestHasAnEmptyFilesList) {
  platform::ForceDirectories(dir_.path() + "pf/Velmora/Akixi.exe");  // a folder does not count
  HttpTestServer server([](const HttpRequest&) { return Ok("<klv/>"); });
  Run(server.port(), testing::UnusedPort());
  const std::string body = server.Requests().at(0).body;
  EXPECT_NE(body.find("\"><files/></klv>\r\n"), std::string::npos) << body;
  EXPECT_EQ(body.find("akixi"), std::string::npos);
  EXPECT_FALSE(Logged("UpdateDownload: Load"));
}

// Which ports are posted to, what the error text holds and what "Port85" becomes.
TEST_F(UpdateDownloadTest, PortRules) {
  struct Case {
    const char* port85_before;  // nullptr: no key
    bool first_reachable;
    bool second_reachable;
    int expected_posts;
    int expected_errors;
    const char* port85_after;
    bool result;
  };
  const Case cases[] = {
      {nullptr, true, true, 1, 0, "1", true},
      {nullptr, false, true, 2, 1, "(absent)", true},
      {nullptr, false, false, 2, 2, "(absent)", false},
      {"1", false, true, 1, 1, "1", false},
      {"1", true, true, 1, 0, "1", true},
      {"0", false, true, 2, 1, "0", true},
      {"", false, true, 2, 1, "", true},
      {"abc", false, true, 2, 1, "abc", true},
      {"0", true, true, 1, 0, "0", true},  // a present key is never rewritten
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("Port85=") + (c.port85_before ? c.port85_before : "(absent)") +
                 (c.first_reachable ? " first up" : " first down"));
    testing::TempDir dir;
    startup_.settings_file = dir.File("KLV.SYS");
    if (c.port85_before)
      dir.Write("KLV.SYS", std::string("[Velmora]\r\nPort85=") + c.port85_before + "\r\n");
    form_.reset();
    int posts = 0;
    auto handler = [&posts](const HttpRequest&) {
      ++posts;
      return Ok("<klv/>");
    };
    std::optional<HttpTestServer> first;
    std::optional<HttpTestServer> second;
    if (c.first_reachable) first.emplace(handler);
    if (c.second_reachable) second.emplace(handler);
    const int first_port = first ? first->port() : testing::UnusedPort();
    const int second_port = second ? second->port() : testing::UnusedPort();
    int posts_refused = 0;
    EXPECT_EQ(Run(first_port, second_port), c.result);
    for (const std::string& line : Log()) {
      if (line.rfind("Connecting to update server (", 0) == 0) ++posts_refused;
    }
    EXPECT_EQ(posts_refused, c.expected_posts);
    const std::string& errors = Form().ErrorText();
    size_t entries = 0;
    for (size_t at = errors.find("Connection failed: "); at != std::string::npos;
         at = errors.find("Connection failed: ", at + 1)) {
      ++entries;
    }
    EXPECT_EQ(entries, static_cast<size_t>(c.expected_errors)) << errors;
    EXPECT_EQ(Port85(), c.port85_after);
    if (c.expected_errors == 2) {
      EXPECT_LT(errors.find(std::to_string(first_port)), errors.find(std::to_string(second_port)))
          << "the first port's failure comes first";
    }
  }
}

TEST_F(UpdateDownloadTest, BothPostsCarryTheSameBytesAndFailuresReadAsTheirStatusLine) {
  WriteUpdate("update.file", "KLV.EXE=1\r\n");
  HttpTestServer first(
      [](const HttpRequest&) { return HttpAnswer(503, "Service Unavailable", "x"); });
  HttpTestServer second([](const HttpRequest&) { return Ok("<klv/>"); });
  EXPECT_TRUE(Run(first.port(), second.port()));
  ASSERT_EQ(first.Requests().size(), 1u);
  ASSERT_EQ(second.Requests().size(), 1u);
  EXPECT_EQ(first.Requests()[0].body, second.Requests()[0].body);
  EXPECT_EQ(Form().ErrorText(), "Connection failed: HTTP/1.1 503 Service Unavailable\r\r");
  EXPECT_TRUE(Logged("Connected..."));
  EXPECT_TRUE(Logged("UpdateDownload: End"));
}

TEST_F(UpdateDownloadTest, RedirectOfThePostIsFollowedAndShownUnderADebugger) {
  startup_.debugger_present = true;
  HttpTestServer target([](const HttpRequest&) { return Ok("<klv/>"); });
  const std::string dest = target.BaseUrl() + "/elsewhere";
  HttpTestServer server([&](const HttpRequest&) { return testing::HttpRedirect(307, dest); });
  EXPECT_TRUE(Run(server.port(), testing::UnusedPort()));
  ASSERT_EQ(target.Requests().size(), 1u);
  EXPECT_EQ(target.Requests()[0].method, "POST");
  EXPECT_EQ(target.Requests()[0].body, server.Requests().at(0).body);
  EXPECT_EQ(view_.caption, dest);
}

TEST_F(UpdateDownloadTest, ArchivesComeThroughThePortOfTheSuccessfulPostWithoutPostHeaders) {
  HttpTestServer other([](const HttpRequest&) { return Ok("other-archive"); });
  std::string answer;
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    return Ok("archive of " + request.target);
  });
  answer =
      "<klv><files><file name=\"KLV.EXE\"/><FILE name=\"$(System32)\\x.dll\"/></files><updates>"
      "<update name=\"KLV.EXE\" version=\"6.15.0.0\" "
      "url=\"HTTP://127.0.0.1/update/7/sus/KLV_EXE\"/>"
      "<Update name=\"$(System32)\\x.dll\" version=\"2.0\" url=\"http://localhost:" +
      std::to_string(other.port()) + "/update/8/sus/X_DLL\"/></updates></klv>";
  EXPECT_TRUE(Run(testing::UnusedPort(), server.port()));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, "/update/7/sus/KLV_EXE");
  EXPECT_EQ(requests[1].Header("user-agent"), "");
  EXPECT_EQ(requests[1].Header("content-type"), "");
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(ReadUpdate("KLV_EXE.zip"), "archive of /update/7/sus/KLV_EXE");
  EXPECT_EQ(ReadUpdate("X_DLL.zip"), "other-archive");
  EXPECT_EQ(ReadUpdate("update.list"), "$(System32)\\x.dll=X_DLL\r\nKLV.EXE=KLV_EXE\r\n");
  EXPECT_EQ(ReadUpdate("update.file"), "$(System32)\\x.dll=2.0\r\nKLV.EXE=6.15.0.0\r\n");
  EXPECT_TRUE(Logged("Downloading " + dir_.path() + "sys/x.dll..."));
  EXPECT_TRUE(Logged("update: , KLV.EXE, 6.15.0.0, HTTP://127.0.0.1/update/7/sus/KLV_EXE"));
  EXPECT_TRUE(Logged("complete: " + dir_.path() + "data/Velmora/update/KLV_EXE.zip"));
  EXPECT_EQ(Log().back(), "UpdateDownload: End");
}

// The catalog after answers of every shape.
struct AnswerCase {
  const char* name;
  const char* catalog_before;  // nullptr: no file
  std::string answer;
  std::optional<std::string> catalog_after;  // nullopt: no file
  std::vector<std::string> log_lines;
  bool result;
};

std::string ManyFiles(int count) {
  std::string answer = "<klv><files>";
  for (int i = 0; i < count; ++i) answer += "<file name=\"f" + std::to_string(i) + "\"/>";
  return answer + "</files></klv>";
}

std::string ManyLines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "f" + std::to_string(i) + "=\r\n";
  return lines;
}

class CatalogTest : public UpdateDownloadTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(CatalogTest, FollowsTheAnswer) {
  const AnswerCase& c = GetParam();
  if (c.catalog_before) WriteUpdate("update.file", c.catalog_before);
  HttpTestServer server([&](const HttpRequest&) { return Ok(c.answer); });
  EXPECT_EQ(Run(server.port(), testing::UnusedPort()), c.result);
  EXPECT_EQ(UpdateExists("update.file") ? std::optional(ReadUpdate("update.file")) : std::nullopt,
            c.catalog_after);
  for (const std::string& line : c.log_lines) EXPECT_TRUE(Logged(line)) << line;
  EXPECT_EQ(Logged("UpdateDownload: End"), c.result);
  EXPECT_EQ(Form().ErrorText(), "") << "answers never reach the error text";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CatalogTest,
    ::testing::Values(
        AnswerCase{"OnlyUpdates",
                   "a=1\r\n",
                   "<klv><updates/></klv>",
                   "a=1\r\n",
                   {"UpdateDownload: <files>", "updates:"},
                   true},
        AnswerCase{"EmptyFiles",
                   "a=1\r\nb=2\r\n",
                   "<klv><files/></klv>",
                   "",
                   {"files:", "UpdateDownload: <updates>"},
                   true},
        AnswerCase{"NameInOtherCase",
                   "KLV.EXE=6.14.0.0\r\n",
                   "<klv><files><file name=\"klv.exe\"/></files></klv>",
                   "KLV.EXE=6.14.0.0\r\n",
                   {"file: klv.exe"},
                   true},
        AnswerCase{"LinesWithoutEqualsGo",
                   "abc\r\n\r\nx=1\r\n",
                   "<klv><files><file name=\"x\"/><File name=\"new\"/><file/><other name=\"o\"/>"
                   "</files></klv>",
                   "x=1\r\nnew=\r\n",
                   {"file: x", "file: new"},
                   true},
        AnswerCase{"EmptyNameKeepsLinesWithoutEquals",
                   "abc\r\n",
                   "<klv><files><file name=\"\"/></files></klv>",
                   "abc\r\n=\r\n",
                   {"file: "},
                   true},
        AnswerCase{"SameNameTwice",
                   nullptr,
                   "<klv><files><file name=\"a\"/><file name=\"A\"/></files></klv>",
                   "a=\r\n",
                   {"file: a", "file: A"},
                   true},
        AnswerCase{"FirstFilesOnly",
                   nullptr,
                   "<klv><updates/><files><file name=\"a\"/></files><files><file name=\"b\"/>"
                   "</files></klv>",
                   "a=\r\n",
                   {"file: a"},
                   true},
        AnswerCase{"NoKlv",
                   "a=1\r\n",
                   "<other>\nx</other>",
                   "a=1\r\n",
                   {"UpdateDownload: ERR=<other>\r\nx</other>\r\n"},
                   false},
        AnswerCase{"EmptyAnswer", "a=1\r\n", "", "a=1\r\n", {"UpdateDownload: ERR="}, false},
        AnswerCase{"NotXml", "a=1\r\n", "<klv><files></klv>", "a=1\r\n", {}, false},
        AnswerCase{"HugeAttribute",
                   nullptr,
                   "<klv><files><file name=\"" + std::string(1 << 20, 'n') + "\"/></files></klv>",
                   std::string(1 << 20, 'n') + "=\r\n",
                   {"files:"},
                   true},
        AnswerCase{
            "ThousandsOfFiles", nullptr, ManyFiles(5000), ManyLines(5000), {"file: f4999"}, true}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

TEST_F(UpdateDownloadTest, MalformedAnswerIsLoggedWithTheParserMessage) {
  HttpTestServer server([](const HttpRequest&) { return Ok("<klv><files></klv>"); });
  EXPECT_FALSE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(Log().back().rfind("UpdateDownload: ", 0), 0u);
  EXPECT_NE(Log().back(), "UpdateDownload: End");
}

TEST_F(UpdateDownloadTest, AnswerLargerThanTheLimitFailsTheExchange) {
  HttpTestServer server(
      [](const HttpRequest&) { return Ok(std::string(kMaxAnswerSize + 1, ' ')); });
  EXPECT_FALSE(Run(server.port(), testing::UnusedPort()));
  EXPECT_NE(Form().ErrorText().find("Connection failed: The answer is larger than"),
            std::string::npos)
      << Form().ErrorText();
}

TEST(ArchiveNameFromUrl, KeepsWhatFollowsTheMarkers) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://host/update/7/sus/KLV_EXE", "KLV_EXE"},
      {"http://host/sus/update/KLV_EXE", "XE"},
      {"http://host/KLV_EXE.zip", "LV_EXE.zip"},   // neither marker: 13 characters go
      {"http://h\xC3\xB6st/abcdefgh", "bcdefgh"},  // characters, not bytes
      {"/update/", ""},
      {"", ""},
      {"/update/1/sus/a/b", "a/b"},
  };
  for (const auto& [url, name] : cases) EXPECT_EQ(ArchiveNameFromUrl(url), name) << url;
}

TEST_F(UpdateDownloadTest, AFailedFetchIsNotRecordedAndEndsTheDownloads) {
  std::string answer =
      "<klv><updates>"
      "<update name=\"a.dll\" version=\"1\" url=\"http://x/update/1/sus/A\"/>"
      "<update name=\"b.dll\" version=\"2\"/>"  // no url: skipped silently
      "<update name=\"c.dll\" version=\"3\" url=\"http://x/update/2/sus/C\"/>"
      "<update name=\"d.dll\" version=\"4\" url=\"http://x/update/3/sus/D\"/>"
      "</updates></klv>";
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    if (request.target.ends_with("/A")) return Ok("archive A");
    // Declares 100 bytes and sends 10: the transfer ends early.
    return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
  });
  answer = std::regex_replace(answer, std::regex("http://x"), "http://127.0.0.1");
  EXPECT_FALSE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(ReadUpdate("update.list"), "a.dll=A\r\n");
  EXPECT_EQ(ReadUpdate("update.file"), "a.dll=1\r\n");
  EXPECT_EQ(ReadUpdate("C.zip"), "0123456789") << "the partial archive stays, unrecorded";
  EXPECT_FALSE(UpdateExists("D.zip"));
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_FALSE(Logged("UpdateDownload: End"));
  EXPECT_EQ(Log().back().rfind("error get: ", 0), 0u) << Log().back();
}

TEST_F(UpdateDownloadTest, ErrorStatusOfADownloadIsLoggedAsItsStatusLine) {
  std::string answer;
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    return HttpAnswer(404, "Not Found", "no such archive");
  });
  answer =
      "<klv><updates><update name=\"a\" version=\"1\" "
      "url=\"http://127.0.0.1/update/1/sus/A\"/></updates></klv>";
  EXPECT_FALSE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(Log().back(), "error get: HTTP/1.1 404 Not Found");
  EXPECT_EQ(ReadUpdate("A.zip"), "") << "an error answer's body is not an archive";
  EXPECT_FALSE(UpdateExists("update.list"));
}

TEST_F(UpdateDownloadTest, RedirectedDownloadIsFollowed) {
  std::string answer;
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    if (request.target == "/moved") return Ok("the archive");
    return testing::HttpRedirect(302, "/moved");
  });
  answer =
      "<klv><updates><update name=\"a\" version=\"1\" "
      "url=\"http://127.0.0.1/update/1/sus/A\"/></updates></klv>";
  EXPECT_TRUE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(ReadUpdate("A.zip"), "the archive");
}

// Addresses whose archive name would leave the update folder, or is no file name at all.
TEST_F(UpdateDownloadTest, ArchiveNamesNeverLeaveTheUpdateFolder) {
  const char* urls[] = {
      "/update/1/sus/../../../escaped", "/update/1/sus/..", "/update/1/sus/sub/escaped",
      "/update/1/sus/..\\escaped",      "/update/1/sus/",   "/update/1/sus/C:escaped",
  };
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    form_.reset();
    std::string answer;
    HttpTestServer server([&](const HttpRequest& request) {
      if (request.method == "POST") return Ok(answer);
      return Ok("payload");
    });
    answer = std::string("<klv><updates><update name=\"a\" version=\"1\" url=\"") +
             "http://127.0.0.1" + url + "\"/><update name=\"b\" version=\"1\" url=\"" +
             "http://127.0.0.1/update/2/sus/B\"/></updates></klv>";
    EXPECT_FALSE(Run(server.port(), testing::UnusedPort()));
    EXPECT_EQ(Log().back().rfind("UpdateDownload: The address", 0), 0u) << Log().back();
    EXPECT_EQ(server.Requests().size(), 1u) << "nothing is fetched, later updates are skipped";
    EXPECT_FALSE(UpdateExists("update.list"));
  }
  // Nothing was written anywhere but in the update folder.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find("escaped"), std::string::npos) << entry.path();
  }
}

TEST_F(UpdateDownloadTest, ArchiveThatCannotBeCreatedEndsThePhase) {
  std::string answer;
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    return Ok("payload");
  });
  answer =
      "<klv><updates><update name=\"a\" version=\"1\" "
      "url=\"http://127.0.0.1/update/1/sus/A\"/></updates></klv>";
  platform::ForceDirectories(dir_.path() + "data/Velmora/update/A.zip");  // a folder in the way
  EXPECT_FALSE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(Log().back().rfind("UpdateDownload: Cannot create file \"", 0), 0u) << Log().back();
}

TEST_F(UpdateDownloadTest, SameArchiveOfferedAgainReplacesItAndStaysPending) {
  WriteUpdate("A.zip", "old");
  WriteUpdate("update.list", "a=A\r\n");
  std::string answer;
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    return Ok("new");
  });
  answer =
      "<klv><updates>"
      "<update name=\"a\" version=\"2\" url=\"http://127.0.0.1/update/1/sus/A\"/>"
      "<update name=\"b\" version=\"3\" url=\"http://127.0.0.1/update/1/sus/A\"/>"
      "</updates></klv>";
  EXPECT_TRUE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(ReadUpdate("A.zip"), "new");
  EXPECT_EQ(ReadUpdate("update.list"), "a=A\r\nb=A\r\n");
}

TEST_F(UpdateDownloadTest, ReadOnlyStateFilesAreMadeWritableFirst) {
  WriteUpdate("update.list", "a=A\r\n");
  WriteUpdate("update.file", "a=1\r\n");
  WriteUpdate("update.log", "");
  for (const char* name : {"update.list", "update.file", "update.log"}) {
    platform::SetReadOnly(dir_.File(std::string("data/Velmora/update/") + name), true);
  }
  Run(testing::UnusedPort(), testing::UnusedPort());
  for (const char* name : {"update.list", "update.file", "update.log"}) {
    EXPECT_EQ(platform::IsReadOnly(dir_.File(std::string("data/Velmora/update/") + name)), false)
        << name;
  }
}

TEST_F(UpdateDownloadTest, TransferEventsMoveTheBar) {
  std::string answer;
  HttpTestServer server([&](const HttpRequest& request) {
    if (request.method == "POST") return Ok(answer);
    return Ok(std::string(300000, 'z'));
  });
  answer =
      "<klv><updates><update name=\"a\" version=\"1\" "
      "url=\"http://127.0.0.1/update/1/sus/A\"/></updates></klv>";
  EXPECT_TRUE(Run(server.port(), testing::UnusedPort()));
  EXPECT_EQ(view_.maximum, 300000);
  EXPECT_EQ(view_.position, 300000);
}

}  // namespace
}  // namespace klv
