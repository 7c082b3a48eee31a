#include "update/console_view.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace klv {
namespace {

struct StatusCase {
  const char* name;
  std::vector<std::string> texts;  // shown one after the other
  std::string expected;            // the whole output, byte for byte
};

class ConsoleViewStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ConsoleViewStatusTest, WritesEachTextWithLineFeedsForCarriageReturns) {
  std::ostringstream out;
  {
    ConsoleView view(out, /*is_terminal=*/false);
    for (const std::string& text : GetParam().texts) view.SetStatusText(text);
  }
  EXPECT_EQ(out.str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConsoleViewStatusTest,
    ::testing::Values(
        StatusCase{"PlainText", {"Checking for updates..."}, "Checking for updates...\n"},
        StatusCase{"EmptyText", {""}, "\n"},
        StatusCase{"ErrorEntryEndsWithCrCr",
                   {"Connection failed: refused\r\r"},
                   "Connection failed: refused\n\n\n"},
        StatusCase{"TwoErrorEntries",
                   {"Connection failed: a\r\rConnection failed: b\r\r"},
                   "Connection failed: a\n\nConnection failed: b\n\n\n"},
        StatusCase{"CrLfBecomesTwoLineFeeds", {"one\r\ntwo"}, "one\n\ntwo\n"},
        StatusCase{"LineFeedsKept", {"one\ntwo\nthree"}, "one\ntwo\nthree\n"},
        StatusCase{"Utf8Unchanged",
                   {"Extracting /opt/Velmora/\xC3\xA9t\xC3\xA9.dll..."},
                   "Extracting /opt/Velmora/\xC3\xA9t\xC3\xA9.dll...\n"},
        StatusCase{
            "SeveralTextsInOrder",
            {"Checking for updates...", "Connecting to update server (85)...", "Connected..."},
            "Checking for updates...\nConnecting to update server (85)...\n"
            "Connected...\n"}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

// Without a terminal nothing but the status texts is written: no bar, no caption, no clipboard.
TEST(ConsoleViewTest, WritesNothingElseWithoutTerminal) {
  std::ostringstream out;
  {
    ConsoleView view(out, /*is_terminal=*/false);
    view.Show();
    view.Activate();
    view.SetCaption("http://example.invalid/redirected");
    view.SetProgress(50, 100);
    view.SetStatusText("Connected...");
    view.SetProgress(100, 100);
    view.ShowErrorPicture();
    view.ProcessMessages();
    view.CopyToClipboard("log line\r\n");
    view.Deactivate();
    view.BringToFront();
  }
  EXPECT_EQ(out.str(), "Connected...\n");
}

TEST(ConsoleViewTest, DrawsBarBelowStatusOnTerminalAndErasesItAtTheEnd) {
  std::ostringstream out;
  {
    ConsoleView view(out, /*is_terminal=*/true);
    view.SetStatusText("Downloading x...");
    view.SetProgress(0, 200);
    view.SetProgress(1, 200);  // still 0 %: not redrawn
    view.SetProgress(100, 200);
    view.SetStatusText("Connected...");
  }
  const std::string erase = "\r\x1b[K";
  const std::string empty_bar = "[----------------------------------------]   0%";
  const std::string half_bar = "[####################--------------------]  50%";
  EXPECT_EQ(out.str(), "Downloading x...\n" + empty_bar + erase + half_bar + erase +
                           "Connected...\n" + half_bar + erase);
}

struct BarCase {
  int32_t position;
  int32_t maximum;
  const char* expected;
};

TEST(ConsoleViewTest, RendersBarForEdgeValues) {
  const BarCase cases[] = {
      {0, 0, "[----------------------------------------]   0%"},  // maximum 0: empty
      {0, 100, "[----------------------------------------]   0%"},
      {100, 100, "[########################################] 100%"},
      {150, 100, "[########################################] 100%"},
      {-5, 100, "[----------------------------------------]   0%"},
      {INT32_MAX, INT32_MAX, "[########################################] 100%"},
      {1, 3, "[#############---------------------------]  33%"},
  };
  for (const BarCase& c : cases) {
    EXPECT_EQ(ConsoleView::RenderBar(c.position, c.maximum), c.expected)
        << c.position << " of " << c.maximum;
  }
}

}  // namespace
}  // namespace klv
