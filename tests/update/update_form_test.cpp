#include "update/update_form.h"

#include <gtest/gtest.h>

#include "tests/support/fake_view.h"
#include "tests/support/temp_dir.h"

namespace klv {
namespace {

struct Started {
  std::string program, parameter, folder;
};

class UpdateFormTest : public ::testing::Test {
 protected:
  UpdateFormTest() {
    startup_.program_dir = dir_.path() + "Velmora/";
    startup_.settings_file = startup_.program_dir + "KLV.SYS";
    startup_.program_file = startup_.program_dir + "klv_upd";
  }

  // A form whose phases run the given code.
  std::unique_ptr<TfrmUpdate> MakeForm(std::function<void(RunContext&)> download = {},
                                       std::function<void(RunContext&)> local = {}) {
    return std::make_unique<TfrmUpdate>(
        view_, clock_, startup_,
        [this](const std::string& program, const std::string& parameter,
               const std::string& folder) {
          started_.push_back({program, parameter, folder});
        },
        TfrmUpdate::Phases{std::move(download), std::move(local)});
  }

  testing::TempDir dir_;
  testing::ScopedEnv appdata_{"KLV_COMMON_APPDATA", (dir_.path() + "data").c_str()};
  testing::FakeView view_;
  testing::FakeClock clock_;
  StartupContext startup_;
  std::vector<Started> started_;
};

TEST_F(UpdateFormTest, CreationFormsTheUpdateFolderAndReadsTheProxy) {
  dir_.Write("Velmora/KLV.SYS", "[Proxy]\r\nServer=proxy.local\r\nPort=0x1F90\r\n");
  auto form = MakeForm();
  EXPECT_EQ(form->Folder().dir, dir_.path() + "data/Velmora/update/");
  EXPECT_EQ(form->ProxyServer(), "proxy.local");
  EXPECT_EQ(form->ProxyPort(), 8080);
  EXPECT_TRUE(form->LogLines().empty());
}

TEST_F(UpdateFormTest, MissingProxySectionGivesEmptyServerAndPortZero) {
  dir_.Write("Velmora/KLV.SYS", "[Velmora]\r\nPort85=1\r\n");
  auto form = MakeForm();
  EXPECT_EQ(form->ProxyServer(), "");
  EXPECT_EQ(form->ProxyPort(), 0);
}

TEST_F(UpdateFormTest, RunWithoutWorkShowsTheWindowWaitsAndReturns) {
  std::vector<std::string> order;
  auto form = MakeForm(
      [&](RunContext& run) {
        order.push_back("download");
        run.ShowStatus("a");
      },
      [&](RunContext&) { order.push_back("local"); });
  EXPECT_EQ(form->UpdateRun(), TfrmUpdate::RunEnd::kReturned);
  EXPECT_EQ(order, (std::vector<std::string>{"download", "local"}));
  EXPECT_EQ(clock_.waits, (std::vector<long long>{500, 500}));
  EXPECT_EQ(view_.events, (std::vector<std::string>{"show", "activate", "status:a", "deactivate"}));
  EXPECT_FALSE(view_.error_picture);
  EXPECT_EQ(form->LogLines(), std::vector<std::string>{"a"});
  EXPECT_EQ(view_.messages_processed, 1);
  EXPECT_EQ(view_.clipboard, "");  // no debugger, no clipboard copy
  EXPECT_TRUE(started_.empty());
}

TEST_F(UpdateFormTest, ErrorTextShowsTheErrorPictureForFiveSeconds) {
  auto form = MakeForm(
      [](RunContext& run) {
        run.AddError("Connection failed: ", "refused");
        run.AddLog("UpdateDownload: x");
      },
      [](RunContext& run) { run.AddError("UpdateLocal: ", "bad"); });
  form->UpdateRun();
  const std::string text = "Connection failed: refused\r\rUpdateLocal: bad\r\r";
  EXPECT_EQ(form->ErrorText(), text);
  EXPECT_TRUE(view_.error_picture);
  EXPECT_EQ(view_.status, text);
  EXPECT_EQ(form->LogLines(), (std::vector<std::string>{"UpdateDownload: x", text}));
  EXPECT_EQ(clock_.waits, (std::vector<long long>{500, 500, 5000}));
}

TEST_F(UpdateFormTest, ErrorTextOfOnlyCarriageReturnsIsBlank) {
  auto form = MakeForm([](RunContext& run) { run.AddError("", ""); });
  form->UpdateRun();
  EXPECT_EQ(form->ErrorText(), "\r\r");
  EXPECT_FALSE(view_.error_picture);
  EXPECT_EQ(clock_.waits.size(), 2u);
}

TEST_F(UpdateFormTest, AFailingPhaseStillDeactivatesTheWindow) {
  auto form = MakeForm([](RunContext&) { throw std::runtime_error("boom"); });
  EXPECT_THROW(form->UpdateRun(), std::runtime_error);
  EXPECT_EQ(view_.events.back(), "deactivate");
}

TEST_F(UpdateFormTest, DebuggerCopiesTheLogToTheClipboard) {
  startup_.debugger_present = true;
  auto form = MakeForm([](RunContext& run) {
    run.ShowStatus("Checking for updates...");
    run.AddLog("UpdateDownload: SND");
  });
  form->UpdateRun();
  EXPECT_EQ(view_.clipboard, "Checking for updates...\r\nUpdateDownload: SND\r\n");
}

TEST_F(UpdateFormTest, RestartsTheMainProgramOnlyWithTheSwitchAndAnExistingFile) {
  struct Case {
    bool update_switch;
    bool main_program_exists;
    bool restarted;
  };
  for (const Case c :
       {Case{true, true, true}, Case{true, false, false}, Case{false, true, false}}) {
    testing::TempDir dir;
    startup_.program_dir = dir.path();
    startup_.update_switch = c.update_switch;
    if (c.main_program_exists) dir.Write("KLV.EXE", "");
    started_.clear();
    auto form = MakeForm();
    const auto end = form->UpdateRun();
    EXPECT_EQ(end == TfrmUpdate::RunEnd::kMainProgramRestarted, c.restarted);
    ASSERT_EQ(started_.size(), c.restarted ? 1u : 0u);
    if (c.restarted) {
      EXPECT_EQ(started_[0].program, dir.path() + "KLV.EXE");
      EXPECT_EQ(started_[0].parameter, "/restart");
      EXPECT_EQ(started_[0].folder, dir.path());
    }
  }
}

TEST_F(UpdateFormTest, TransferEventsMoveTheBar) {
  auto form = MakeForm();
  form->IdHTTPWorkBegin(1000);
  form->IdHTTPWork(250);
  EXPECT_EQ(view_.position, 250);
  EXPECT_EQ(view_.maximum, 1000);
  form->IdHTTPWorkEnd();
  EXPECT_EQ(view_.position, 1000);
  // Only the low 32 bits of the 64-bit count reach the bar.
  form->IdHTTPWorkBegin((int64_t{5} << 32) | 300);
  EXPECT_EQ(view_.maximum, 300);
  // A maximum of 0 is the bar's minimum; the end event then sets the position to 0.
  form->IdHTTPWorkBegin(0);
  form->IdHTTPWorkEnd();
  EXPECT_EQ(view_.position, 0);
  EXPECT_EQ(view_.maximum, 0);
  // Low 32 bits that read as negative are refused by the bar.
  try {
    form->IdHTTPWorkBegin(0xFFFFFFFFll);
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TProgressBar property out of range");
  }
}

TEST_F(UpdateFormTest, ExtractionRestartsTheBarAtZeroOfHundred) {
  auto form = MakeForm();
  form->IdHTTPWorkBegin(5000);
  form->IdHTTPWork(4000);
  form->UnZipStartUnZip();
  EXPECT_EQ(view_.position, 0);
  EXPECT_EQ(view_.maximum, 100);
  form->UnZipTotalPercentDone(37);
  EXPECT_EQ(view_.position, 37);
  form->UnZipEndUnZip();
  EXPECT_EQ(view_.position, 100);
}

TEST_F(UpdateFormTest, RedirectShowsTheAddressOnlyUnderADebugger) {
  auto form = MakeForm();
  form->IdHTTPRedirect("http://other/x");
  EXPECT_EQ(view_.caption, "Update");
  startup_.debugger_present = true;
  auto debug_form = MakeForm();
  debug_form->IdHTTPRedirect("http://other/x");
  EXPECT_EQ(view_.caption, "http://other/x");
}

}  // namespace
}  // namespace klv
