// ServiceDialog start-up: the order of its own steps and the printer message path.
#include <gtest/gtest.h>

#include "app/service_dialog.h"
#include "core/controls.h"
#include "core/texts.h"
#include "platform/serial_port.h"
#include "tests/fakes/fake_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_relay_port.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace {

class ServiceStartup : public ::testing::Test {
 protected:
  ServiceStartup() {
    fake.files.SetModuleFileName(dir.File("portrelay.exe"));
    fake.platform.serialPorts = &serialPorts;
    serialPorts.clock = &fake.clock;
  }
  fakes::FakeRelayPort& PreparePort(const std::string& devicePath) {
    auto port = std::make_unique<fakes::FakeRelayPort>(fake.clock);
    fakes::FakeRelayPort* raw = port.get();
    serialPorts.prepared[devicePath] = std::move(port);
    return *raw;
  }
  std::string Log() {
    std::string text =
        support::ReadFile(dir.File("MainLog") + fake.files.PathSeparator() + "2026_12_08.log");
    std::string out;
    for (char c : text)
      if (c != '\r') out += c;
    return out;
  }

  support::TempDir dir;
  fakes::FakePlatform fake;
  fakes::RecordingView view;
  fakes::ScriptedPrompt prompt;
  fakes::FakeLink link;
  fakes::FakeSerialPorts serialPorts;
};

TEST_F(ServiceStartup, FirstStartCreatesSettingsAndOffersThePrinterPorts) {
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
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
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  EXPECT_NE(Log().find("[DEBUG] : Start OpenPort"), std::string::npos);
  EXPECT_EQ(view.Count("select 1019 TCP/IP"), 1);
}

// Without its relay port the relay does nothing: the user is told which port
// and why, at Error level, besides the Debug line the log always had.
TEST_F(ServiceStartup, ARelayPortThatCannotBeOpenedIsLoggedAsAnError) {
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nPort=TCP/IP\r\nLogFile=YES\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM9\r\n");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  EXPECT_EQ(dialog.OnInitDialog(), 1);
  const std::string log = Log();
  EXPECT_NE(log.find("[DEBUG] : COM9 open failed\n"), std::string::npos) << log;
  EXPECT_NE(
      log.find("[ERROR] : COM9 : the relay port cannot be opened: the port cannot be opened\n"),
      std::string::npos)
      << log;
  EXPECT_EQ(view.Count("notify COM9 : the relay port cannot be opened: the port cannot be opened"),
            1);
  EXPECT_EQ(dialog.service().ports().count, 1);
}

// The system's own reason, on both builds (no dosdevices entry on Linux, the
// system's error text on Windows).
TEST(NativeSerialPorts, AMissingPortSaysWhy) {
  std::string whyNot;
  EXPECT_EQ(platform::Native().serialPorts->OpenOrSayWhy("\\\\.\\COM999", true, whyNot), nullptr);
  EXPECT_FALSE(whyNot.empty());
  EXPECT_NE(whyNot, "the port cannot be opened");
}

TEST_F(ServiceStartup, PrinterMessagesArePrefixedLoggedAndShown) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=10.1.2.3\r\nLogFile=YES\r\n");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  const size_t before = prompt.shown().size();
  prompt.Answer(core::kAnswerCancel);
  EXPECT_EQ(
      dialog.service().ShowPrinterMessage(core::texts::kJobCoverOpen.english, core::kStatusError),
      core::kAnswerCancel);
  ASSERT_EQ(prompt.shown().size(), before + 1);
  EXPECT_EQ(prompt.shown()[before].text,
            "TCP/IP(10.1.2.3) port : [Printing] Printer cover is open.");
  EXPECT_EQ(prompt.shown()[before].kind, core::kStatusError);
  EXPECT_NE(Log().find("[ERROR] : TCP/IP(10.1.2.3) port : [Printing] Printer cover is open."),
            std::string::npos);
}

TEST_F(ServiceStartup, KoreanCodePageSelectsTheKoreanPrefix) {
  fake.system.codePage = 949;
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nPort=COM3\r\n");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  dialog.service().ShowPrinterMessage("x", core::kStatusNormal);
  EXPECT_EQ(prompt.shown().back().text, "COM3 포트 : x");
}

TEST_F(ServiceStartup, FirstConnectionGoesToUsbAndRetriesUseTheSettings) {
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nPort=COM3\r\nBaudrate=19200\r\n");
  link.openResults = {-1, -1, 0};
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  EXPECT_EQ(dialog.OnInitDialog(), 1);
  dialog.Shutdown();
  EXPECT_EQ(link.opens, (std::vector<std::string>{"USB/0", "COM3/19200", "COM3/19200"}));
  const auto shown = prompt.texts();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[0],
            "COM3 port : Printer connection failed 1 times.\nThe program automatically closes "
            "after 5 failures.");
  EXPECT_EQ(shown[1].substr(0, 38), "COM3 port : Printer connection failed ");
  EXPECT_EQ(view.Count("post close"), 0);
}

TEST_F(ServiceStartup, FiveFailedConnectionsEndStartUp) {
  support::WriteFile(dir.File("Settings.ini"),
                     "[Settings]\r\nPort=TCP/IP\r\nIP=192.0.2.1\r\nLogFile=YES\r\n");
  for (int i = 0; i < 10; ++i) link.openResults.push_back(8);
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  EXPECT_EQ(dialog.OnInitDialog(), -1);
  EXPECT_EQ(link.opens, std::vector<std::string>(5, "192.0.2.1/9100"));
  ASSERT_EQ(prompt.shown().size(), 5u);
  for (int n = 1; n <= 5; ++n)
    EXPECT_NE(prompt.shown()[static_cast<size_t>(n - 1)].text.find("Printer connection failed " +
                                                                   std::to_string(n) + " times."),
              std::string::npos);
  EXPECT_EQ(view.Count("post close"), 1);
  EXPECT_EQ(view.Count("hide to tray"), 0);
  EXPECT_FALSE(dialog.service().worker().running());
  EXPECT_EQ(Log().find("End OpenPort"), std::string::npos);
}

TEST_F(ServiceStartup, RealtimeOffClosesTheLinkAfterTheFirstConnection) {
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nRealtime=NO\r\n");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  dialog.Shutdown();
  ASSERT_GE(link.Events().size(), 2u);
  EXPECT_EQ(link.Events()[0], "open");
  EXPECT_EQ(link.Events()[1], "close");
}

TEST_F(ServiceStartup, OpensOnlyPort1OfThePortList) {
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nLogFile=YES\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM5\r\nPort2=COM7\r\n");
  auto& port = PreparePort("\\\\.\\COM5");
  PreparePort("\\\\.\\COM7");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  // The relay end is set up to return reads at once, 9600 8N1, DTR and RTS on.
  EXPECT_EQ(port.timeouts.readInterval, 0xFFFFFFFFu);
  EXPECT_EQ(port.timeouts.readTotalConstant, 0u);
  EXPECT_EQ(port.line.baudRate, 9600u);
  EXPECT_TRUE(port.line.dtrEnable);
  EXPECT_TRUE(port.line.rtsEnable);
  EXPECT_FALSE(port.line.ctsFlow);
  dialog.Shutdown();
  EXPECT_EQ(serialPorts.opened, std::vector<std::string>{"\\\\.\\COM5"});
  EXPECT_EQ(dialog.service().ports().count, 1);
  EXPECT_EQ(dialog.service().ports().Name(0), "COM5");
  EXPECT_EQ(view.lists[core::controls::kRelayPortList], std::vector<std::string>{"COM5"});
  EXPECT_EQ(view.texts[core::controls::kPortCountEdit], "1");
  EXPECT_NE(Log().find("[DEBUG] : COM5 open success"), std::string::npos);
  EXPECT_EQ(dialog.noVirtualPort(), 0);
}

TEST_F(ServiceStartup, APortThatCannotBeOpenedStillCounts) {
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\nLogFile=YES\r\n");
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=COM9\r\n");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  dialog.Shutdown();
  EXPECT_EQ(dialog.service().ports().count, 1);
  EXPECT_EQ(dialog.service().ports().handles[0], nullptr);
  EXPECT_EQ(view.texts[core::controls::kPortCountEdit], "1");
  EXPECT_NE(Log().find("[DEBUG] : COM9 open failed"), std::string::npos);
  EXPECT_TRUE(prompt.shown().empty());
}

TEST_F(ServiceStartup, ANameThatIsNoComPortLeavesTheRelayUnconfigured) {
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\r\nPort1=LPT1\r\n");
  app::ServiceDialog dialog(fake.platform, view, prompt, link);
  dialog.OnInitDialog();
  dialog.Shutdown();
  EXPECT_EQ(dialog.service().ports().count, 0);
  EXPECT_EQ(view.texts[core::controls::kPortCountEdit], "0");
  ASSERT_EQ(prompt.shown().size(), 1u);
  EXPECT_EQ(prompt.shown()[0].text,
            "USB port : The virtual COM port is not configured.\nInstall the virtual COM port "
            "driver for interworking with the application.");
  EXPECT_EQ(dialog.noVirtualPort(), 1);
}

TEST_F(ServiceStartup, FailedRelaySetUpShowsItsMessageAndReleasesTheDevice) {
  auto& port = PreparePort("\\\\.\\COM6");
  port.failSetState = true;
  std::weak_ptr<int> device = port.alive;
  auto opened = core::OpenRelayPort(fake.platform, "\\\\.\\COM6");
  EXPECT_EQ(opened, nullptr);
  EXPECT_TRUE(device.expired());
  ASSERT_EQ(fake.system.messageBoxes().size(), 1u);
  EXPECT_EQ(fake.system.messageBoxes()[0], "portrelay|SetCommState() Fail in \\\\.\\COM6");
}

TEST_F(ServiceStartup, OnlyPort1IsTheRelayPortAndOnlyWhenItIsAComName) {
  struct Row {
    const char* portList;
    const char* name;
    bool isCom;
  };
  const Row rows[] = {
      {"[Ports]\r\nPort1=COM6\r\n", "COM6", true},
      {"[Ports]\r\nPort1=LPT1\r\n", "LPT1", false},
      {"[Ports]\r\nPort1=com6\r\n", "com6", false},  // the test is case-sensitive
      {"[Ports]\r\nPort1=\r\nPort2=COM7\r\n", "", false},
      {"", "", false},
  };
  core::RelayService service(fake.platform, view, prompt, link);
  service.LoadSettings();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.portList);
    support::WriteFile(dir.File("PortLists.ini"), row.portList);
    const core::RelayPortEntry entry = service.ReadRelayPort();
    EXPECT_EQ(entry.name, row.name);
    EXPECT_EQ(entry.isCom, row.isCom);
  }
}

}  // namespace
