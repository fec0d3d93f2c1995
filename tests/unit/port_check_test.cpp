// The application port check and the developer's banner print through
// ServiceDialog's commands: the port they open, its serial set-up, what they
// write, and every outcome's message, each shown only after the port was
// closed.
#include "app/port_check.h"

#include <gtest/gtest.h>

#include "app/test_page.h"
#include "core/controls.h"
#include "tests/fakes/fake_app_port.h"
#include "tests/fakes/provisioning_fixture.h"

namespace {

namespace controls = core::controls;
using Bytes = std::vector<uint8_t>;
const Bytes kCut{0x1D, 0x56, 0x42, 0x00};

class PortCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    f.SetPair("COM5", "COM6");
    f.PreparePort("COM6");
    ASSERT_EQ(f.dialog->OnInitDialog(), 1);
    ASSERT_EQ(f.List(controls::kAppPortList), std::vector<std::string>{"COM5"});
    f.prompt.onShow = [this](const fakes::Shown& shown, size_t) {
      messages.push_back(std::string(Closed() ? "closed|" : "not closed|") + shown.text);
    };
    f.fake.system.onMessageBox = [this](const std::string& text) {
      messages.push_back(std::string(Closed() ? "closed|" : "not closed|") + text);
    };
  }
  // The application end COM5 as the check will open it; its record.
  fakes::AppPortRecord& PrepareAppPort(const std::string& name = "COM5") {
    last = std::make_shared<fakes::AppPortRecord>();
    f.serialPorts.prepared["\\\\.\\" + name] = std::make_unique<fakes::FakeAppPort>(last);
    return *last;
  }
  bool Closed() { return last && last->closed; }
  std::vector<core::StatusKind> Kinds() {
    std::vector<core::StatusKind> kinds;
    for (const auto& shown : f.prompt.shown()) kinds.push_back(core::StatusKind(shown.kind));
    return kinds;
  }

  fakes::ProvisioningFixture f;
  std::shared_ptr<fakes::AppPortRecord> last;  // the port prepared last
  std::vector<std::string> messages;           // prompts and message boxes, in order
};

TEST_F(PortCheck, UsablePortGetsTheTestPageAndAGreenMessage) {
  fakes::AppPortRecord& port = PrepareAppPort();
  f.dialog->PortCheckPrint();
  EXPECT_EQ(f.serialPorts.opened.back(), "\\\\.\\COM5");
  ASSERT_EQ(port.writes.size(), 28u);
  EXPECT_EQ(port.writes.back(), kCut);
  EXPECT_EQ(messages, std::vector<std::string>{"closed|Application can use the COM5 port."});
  EXPECT_EQ(Kinds(), std::vector<core::StatusKind>{core::kStatusNormal});
  // Shown as it is: no printer-port prefix and no log line.
  EXPECT_EQ(f.Log().find("Application can use"), std::string::npos);
}

TEST_F(PortCheck, PortIsSetUpLikeAPrinterPort) {
  fakes::AppPortRecord& port = PrepareAppPort();
  f.dialog->PortCheckPrint();
  EXPECT_EQ(port.timeouts.readInterval, platform::kMaxDword);
  EXPECT_EQ(port.timeouts.readTotalMultiplier, 0u);
  EXPECT_EQ(port.timeouts.readTotalConstant, 0u);
  EXPECT_EQ(port.timeouts.writeTotalMultiplier, 0u);
  EXPECT_EQ(port.timeouts.writeTotalConstant, 0u);
  platform::LineSettings expected;
  platform::SetPlainLine(expected, 9600);
  const platform::LineSettings& line = port.line;
  EXPECT_EQ(line.baudRate, 9600u);
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(line.parity, 0);
  EXPECT_EQ(line.stopBits, 0);
  EXPECT_TRUE(line.binary && line.dtrEnable && line.rtsEnable && line.txContinueOnXoff);
  EXPECT_FALSE(line.parityCheck || line.ctsFlow || line.dsrFlow || line.dsrSensitivity ||
               line.xonXoffIn || line.xonXoffOut || line.errorChar || line.nullStrip ||
               line.abortOnError);
}

struct Failure {
  const char* name;
  std::function<void(fakes::AppPortRecord&)> arrange;
  const char* message;
  bool promptShown;  // else a message box
};

class PortCheckFailure : public PortCheck, public ::testing::WithParamInterface<Failure> {};

TEST_P(PortCheckFailure, ClosesThePortBeforeItsMessage) {
  const Failure& failure = GetParam();
  fakes::AppPortRecord& port = PrepareAppPort();
  failure.arrange(port);
  f.dialog->PortCheckPrint();
  EXPECT_TRUE(Closed());
  EXPECT_EQ(messages, std::vector<std::string>{std::string("closed|") + failure.message});
  if (failure.promptShown)
    EXPECT_EQ(Kinds(), std::vector<core::StatusKind>{core::kStatusError});
  else
    EXPECT_TRUE(f.prompt.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PortCheckFailure,
    ::testing::Values(Failure{"Timeouts", [](fakes::AppPortRecord& p) { p.failSetTimeouts = true; },
                              "SetCommTimeouts() failed in COM5", false},
                      Failure{"GetState", [](fakes::AppPortRecord& p) { p.failGetState = true; },
                              "GetCommState() failed in COM5", false},
                      Failure{"SetState", [](fakes::AppPortRecord& p) { p.failSetState = true; },
                              "SetCommState() failed in COM5", false},
                      Failure{"Cut",
                              [](fakes::AppPortRecord& p) {
                                p.failWrite = [](int, const Bytes& bytes) { return bytes == kCut; };
                              },
                              "Data transfer to COM5 port failed.", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The open fails when another program holds the port: nothing was opened,
// so nothing is left open either.
TEST_F(PortCheck, PortHeldElsewhereIsReportedInRed) {
  f.dialog->PortCheckPrint();
  EXPECT_EQ(messages,
            std::vector<std::string>{"not closed|COM5 port is being used by another program."});
  EXPECT_EQ(Kinds(), std::vector<core::StatusKind>{core::kStatusError});
  EXPECT_TRUE(f.fake.system.messageBoxes().empty());
}

TEST_F(PortCheck, EmptyApplicationPortListOpensTheBarePrefix) {
  f.view.lists[controls::kAppPortList].clear();
  f.dialog->PortCheckPrint();
  EXPECT_EQ(f.serialPorts.opened.back(), "\\\\.\\");
  EXPECT_EQ(f.prompt.texts(), std::vector<std::string>{" port is being used by another program."});
}

TEST_F(PortCheck, KoreanMessagesWithCodePage949) {
  f.fake.system.codePage = 949;
  f.service().LoadCodePage();
  PrepareAppPort();
  f.dialog->PortCheckPrint();
  f.dialog->PortCheckPrint();  // the port is gone now: held
  EXPECT_EQ(f.prompt.texts(),
            (std::vector<std::string>{"어플리케이션에서 COM5 포트를 사용할 수 있습니다.",
                                      "COM5 포트를 다른 프로그램에서 사용 중입니다."}));
}

TEST_F(PortCheck, DeviceNameIsCutToItsBuffer) {
  EXPECT_EQ(app::CheckDevicePath("COM5"), "\\\\.\\COM5");
  EXPECT_EQ(app::CheckDevicePath(std::string(40, 'C')).size(), 31u);
}

TEST_F(PortCheck, BannerPrintUsesTheSelectedPort) {
  f.view.lists[controls::kAppPortList] = {"COM5", "COM9"};
  f.view.selected[controls::kAppPortList] = 1;
  fakes::AppPortRecord& port = PrepareAppPort("COM9");
  f.dialog->DeveloperImagePrint();
  const Bytes feed{0x1B, 0x4A, 0x30};
  const Bytes image(app::TestPageImage.begin(), app::TestPageImage.end());
  EXPECT_EQ(port.writes, (std::vector<Bytes>{image, feed, feed, kCut}));
  EXPECT_EQ(port.line.baudRate, 9600u);
  EXPECT_TRUE(Closed());
  EXPECT_TRUE(messages.empty());
}

TEST_F(PortCheck, BannerPrintFailuresCloseThePortBeforeTheirBox) {
  {
    fakes::AppPortRecord& port = PrepareAppPort();
    port.failWrite = [](int index, const Bytes&) { return index == 0; };
    f.view.selected[controls::kAppPortList] = 0;
    f.dialog->DeveloperImagePrint();
    EXPECT_EQ(port.writes.size(), 1u) << "nothing follows a refused banner";
  }
  fakes::AppPortRecord& port = PrepareAppPort();
  port.failWrite = [](int, const Bytes& bytes) { return bytes == kCut; };
  f.dialog->DeveloperImagePrint();
  // Held: the developer's message is the Korean one in every code page.
  last.reset();
  f.dialog->DeveloperImagePrint();
  EXPECT_EQ(messages,
            (std::vector<std::string>{"closed|WriteFile() Fail !!!", "closed|WriteFile() Fail !!!",
                                      "not closed|COM5 포트를 다른 프로그램에서 사용 중입니다."}));
  EXPECT_TRUE(f.prompt.shown().empty());
}

TEST_F(PortCheck, BannerPrintWithNothingSelectedOpensNothingUseful) {
  PrepareAppPort();
  f.dialog->DeveloperImagePrint();
  EXPECT_EQ(f.serialPorts.opened.back(), "\\\\.\\");
  EXPECT_EQ(messages,
            std::vector<std::string>{"not closed| 포트를 다른 프로그램에서 사용 중입니다."});
}

}  // namespace
