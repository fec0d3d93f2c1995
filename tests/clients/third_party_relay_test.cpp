// Point-of-sale client libraries, unmodified (installed by scripts/setup into
// build/node), print and read the printer's status through the Linux relay's
// application end: the `escpos` package with its serial-port adapter, and
// node-thermal-printer, whose status read works only on a network interface
// (the test serves the application end on TCP with socat, as a serial device
// server would). The printer is the simulator on 127.0.0.N:9100.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/clients/node_client.h"
#include "tests/support/relay_rig.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

class ThirdPartyClient : public ::testing::TestWithParam<clients::ClientCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(clients::LibrariesInstalled())
        << "the client libraries are missing: run scripts/setup";
    ASSERT_TRUE(rig.StartPrinter());
    // Pop-ups on: the headless relay prints them, so the test sees the fault
    // reach the relay.
    ASSERT_TRUE(rig.StartRelay("Timeout=300\nResultTimeout=3000\nPopup=YES\nReprint=YES\n"));
    ASSERT_TRUE(rig.WaitForLog("COM6 open success", 20000)) << rig.relay.Output();
    appEnd = fs::canonical(rig.dir.File("dosdevices/com5")).string();
    if (GetParam().coverOpen) {
      ASSERT_EQ(rig.printer.Send("cover open"), 0);
      ASSERT_TRUE(rig.printer.events().Next("state cover=open", seconds(5)));
    }
  }

  int Copies(const std::string& text) {
    return support::CountBytes(rig.Recorded(), std::vector<uint8_t>(text.begin(), text.end()));
  }

  support::RelayRig rig;
  std::string appEnd;
  clients::NodeClient client;
};

TEST_P(ThirdPartyClient, PrintsAndReadsTheStatusThroughTheRelay) {
  const clients::ClientCase& c = GetParam();
  const std::string output = client.Run(c.script, appEnd);
  for (const char* line : c.expected)
    EXPECT_NE(output.find(line), std::string::npos) << "missing \"" << line << "\" in\n" << output;

  if (!c.coverOpen) {
    ASSERT_TRUE(rig.printer.events().Next("tx 7 37224646464600", seconds(30)))
        << rig.printer.events().Dump() << rig.relay.Output();
    EXPECT_EQ(Copies(c.receiptText), 1) << rig.printer.events().Dump() << rig.Log();
    return;
  }
  // The job's confirmation goes unanswered while the cover is open: the relay
  // reports a fault and offers the reprint (pop-ups answered with OK), which
  // prints the receipt once more. Whether before or after the cover closes
  // depends on whether the relay saw the cover, which the network link learns
  // only from the answers it asks for.
  ASSERT_TRUE(rig.relay.WaitForOutput("[Printing] ", 30000))
      << rig.relay.Output() << rig.printer.events().Dump();
  ASSERT_EQ(rig.printer.Send("cover close"), 0);
  const auto deadline = std::chrono::steady_clock::now() + seconds(30);
  while (Copies(c.receiptText) < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_GE(Copies(c.receiptText), 2) << rig.printer.events().Dump() << rig.relay.Output();
}

INSTANTIATE_TEST_SUITE_P(Linux, ThirdPartyClient, ::testing::ValuesIn(clients::ClientCases()),
                         [](const ::testing::TestParamInfo<clients::ClientCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
