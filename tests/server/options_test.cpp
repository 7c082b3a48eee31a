// The command line of klv_sus.
#include "server/options.h"

#include <gtest/gtest.h>

namespace klv::sus {
namespace {

TEST(OptionsTest, DefaultsFollowTheFolder) {
  const Options options = ParseOptions({"--folder", "/srv/sus"});
  EXPECT_EQ(options.folder, "/srv/sus/");
  EXPECT_EQ(options.manifest, "/srv/sus/manifest.tsv");
  EXPECT_EQ(options.database, "/srv/sus/sus.db");
  EXPECT_EQ(options.address, "127.0.0.1");
  EXPECT_EQ(options.ports, (std::vector<int>{85, 80}));
  EXPECT_EQ(options.base_url, "http://localhost");
  EXPECT_EQ(options.ready_file, "");
}

TEST(OptionsTest, TheDatabaseLiesBesideTheManifest) {
  EXPECT_EQ(ParseOptions({"--folder", "/srv/sus", "--manifest", "/etc/klv/m.tsv"}).database,
            "/etc/klv/sus.db");
  EXPECT_EQ(ParseOptions({"--folder", "/srv/sus", "--manifest", "m.tsv"}).database, "sus.db");
}

TEST(OptionsTest, EveryOptionIsTaken) {
  const Options options =
      ParseOptions({"--folder", "/srv/sus/", "--manifest", "/etc/m.tsv", "--database", "/var/s.db",
                    "--address", "0.0.0.0", "--port", "85", "--port", "80,8080", "--base-url",
                    "http://updates.velmora.example", "--ready", "/run/ready"});
  EXPECT_EQ(options.folder, "/srv/sus/");
  EXPECT_EQ(options.manifest, "/etc/m.tsv");
  EXPECT_EQ(options.database, "/var/s.db");
  EXPECT_EQ(options.address, "0.0.0.0");
  EXPECT_EQ(options.ports, (std::vector<int>{85, 80, 8080}));
  EXPECT_EQ(options.base_url, "http://updates.velmora.example");
  EXPECT_EQ(options.ready_file, "/run/ready");
}

TEST(OptionsTest, MistakesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "--folder is required"},
      {{"--folder"}, "unknown option or missing value: --folder"},
      {{"--folder", "d", "--port", "85,,80"}, "not a port: \"\""},
      {{"--folder", "d", "--port", "65536"}, "not a port: \"65536\""},
      {{"--folder", "d", "--port", "-1"}, "not a port: \"-1\""},
      {{"--folder", "d", "--port", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"}, "too many ports"},
      {{"--folder", "d", "--verbose", "1"}, "unknown option: --verbose"},
      {{"--folder", "d", "--base-url", "https://x"},
       "--base-url must be http:// and a host, without port or path: https://x"},
  };
  for (const Case& c : cases) {
    try {
      ParseOptions(c.args);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const UsageError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

TEST(OptionsTest, BaseUrlIsSchemeAndHostOnly) {
  struct Case {
    const char* url;
    bool ok;
  };
  const Case cases[] = {{"http://localhost", true},
                        {"http://10.0.0.5", true},
                        {"http://[::1]", true},
                        {"http://updates.example", true},
                        {"http://localhost:85", false},
                        {"http://localhost/", false},
                        {"http://localhost/sus", false},
                        {"http://", false},
                        {"localhost", false},
                        {"HTTP://localhost", false},
                        {"http://user@host", false},
                        {"http://a b", false}};
  for (const Case& c : cases) EXPECT_EQ(IsBaseUrl(c.url), c.ok) << c.url;
}

TEST(OptionsTest, HelpNeedsNoFolder) {
  EXPECT_TRUE(ParseOptions({"--help"}).help);
}

}  // namespace
}  // namespace klv::sus
