// ServiceDialog start-up: the order of its own steps and the printer message path.
#include <gtest/gtest.h>

#include "core/controls.h"
#include "core/service_dialog.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace {

class ServiceStartup : public ::testing::Test {
 protected:
  ServiceStartup() { fake.files.SetModuleFileName(dir.File("portrelay.exe")); }
  std::string Log() {
    std::string text = support::ReadFile(dir.File("MainLog") + fake.files.PathSeparator() +
                                         "2026_12_08.log");
    std::string out;
    for (char c : text)
      if (c != '\r') out += c;
    return out;
  }

  support::TempDir dir;
  fakes::FakePlatform fake;
  fakes::RecordingView view;
  fakes::ScriptedPrompt prompt;
};

TEST_F(ServiceStartup, FirstStartCreatesSettingsAndOffersThePrinterPorts) {
  core::ServiceDialog dialog(fake.platform, view, prompt);
  EXPECT_EQ(dialog.OnInitDialog(), 1);
  EXPECT_TRUE(fake.files.FileExists(dir.File("Settings.ini")));
  ASSERT_FALSE(view.calls.empty());
  EXPECT_EQ(view.calls.front(), "init 1252");
  const auto& combo = view.lists[core::controls::kPrinterPortCombo];
  ASSERT_GE(combo.size(), 2u);
  EXPECT_EQ(combo.front(), "USB");
  EXPECT_EQ(combo.back(), "TCP/IP");
  EXPECT_EQ(view.Count("select 1019 USB"), 1);
  EXPECT_EQ(view.Count("hide to tray"), 1);
  // Logging is off by default: nothing was written.
  EXPECT_FALSE(fake.files.DirectoryExists(dir.File("MainLog")));
}

TEST_F(ServiceStartup, LogsTheConnectionStepWhenLoggingIsOn) {
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nPort=TCP/IP\r\nLogFile=YES\r\n");
  core::ServiceDialog dialog(fake.platform, view, prompt);
  dialog.OnInitDialog();
  EXPECT_NE(Log().find("[DEBUG] : Start OpenPort"), std::string::npos);
  EXPECT_EQ(view.Count("select 1019 TCP/IP"), 1);
}

TEST_F(ServiceStartup, PrinterMessagesArePrefixedLoggedAndShown) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=10.1.2.3\r\nLogFile=YES\r\n");
  core::ServiceDialog dialog(fake.platform, view, prompt);
  dialog.OnInitDialog();
  prompt.Answer(core::kAnswerCancel);
  EXPECT_EQ(dialog.ShowPrinterMessage("[Printing] Printer cover is open.", core::kStatusError),
            core::kAnswerCancel);
  ASSERT_EQ(prompt.shown().size(), 1u);
  EXPECT_EQ(prompt.shown()[0].text, "TCP/IP(10.1.2.3) port : [Printing] Printer cover is open.");
  EXPECT_EQ(prompt.shown()[0].kind, core::kStatusError);
  EXPECT_NE(Log().find("[ERROR] : TCP/IP(10.1.2.3) port : [Printing] Printer cover is open."),
            std::string::npos);
}

TEST_F(ServiceStartup, KoreanCodePageSelectsTheKoreanPrefix) {
  fake.system.codePage = 949;
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nPort=COM3\r\n");
  core::ServiceDialog dialog(fake.platform, view, prompt);
  dialog.OnInitDialog();
  dialog.ShowPrinterMessage("x", core::kStatusNormal);
  EXPECT_EQ(prompt.shown().back().text, "COM3 포트 : x");
}

}  // namespace
