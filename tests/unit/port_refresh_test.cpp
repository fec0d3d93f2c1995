// The port refresh: the plain cycle (stop, rescan, rewrite PortLists.ini,
// reopen, restart, report) and every path of the adding-mode installation
// check, with the order of progress positions and the waits on the clock.
#include "provisioning/port_refresh.h"

#include <gtest/gtest.h>

#include "core/controls.h"
#include "core/texts.h"
#include "tests/fakes/provisioning_fixture.h"

namespace {

namespace controls = core::controls;
using Names = std::vector<std::string>;
using Sleeps = std::vector<uint32_t>;

const std::string kNotice =
    "If you are installing the virtual COM port, click the OK button after installation is "
    "complete.\nIf you canceled the virtual COM port installation, click the OK button.";
const std::string kError1 =
    "[1] An error occurred when adding the port.\nAutomatically close the program.\nPlease run it "
    "again!!!";
const std::string kError2 =
    "[2] An error occurred when adding the port.\nAutomatically close the program.\nPlease run it "
    "again!!!";
const std::string kOpenError =
    "An error occurred when opening the port.\nAutomatically close the program.\nPlease run it "
    "again!!!";
const std::string kDone = core::texts::kChangesDone.english;

class PortRefresh : public ::testing::Test {
 protected:
  // The relay as start-up leaves it: Port1 open, the worker running.
  void StartRelay(const std::string& app, const std::string& relay) {
    f.SetPair(app, relay);
    if (!relay.empty()) f.PreparePort(relay);
    ASSERT_EQ(f.dialog->OnInitDialog(), 1);
    f.clock.ForgetSleeps();
    f.view.calls.clear();
    f.view.progress.clear();
  }
  // The state the pair installation hands over: worker stopped, flag 1.
  void Stopped(const std::string& port1) {
    f.WritePortList(port1);
    f.service().stopFlag() = 1;
    f.state().addingMode = 1;
  }
  void Refresh() { provisioning::RefreshPorts(f.service(), f.state()); }
  std::string LastShown() { return f.Shown().empty() ? "" : f.Shown().back(); }

  fakes::ProvisioningFixture f;
};

TEST_F(PortRefresh, PlainModeStopsReopensAndRestartsTheRelay) {
  StartRelay("COM5", "COM6");
  auto oldPort = f.service().ports().handles[0];
  ASSERT_NE(oldPort, nullptr);
  std::weak_ptr<platform::SerialPort> old = oldPort;
  oldPort.reset();
  auto& fresh = f.PreparePort("COM6");
  std::weak_ptr<int> freshAlive = fresh.alive;

  Refresh();

  EXPECT_TRUE(old.expired()) << "the old relay end is still open";
  EXPECT_FALSE(freshAlive.expired());
  EXPECT_EQ(f.serialPorts.opened, (Names{"\\\\.\\COM6", "\\\\.\\COM6"}));
  EXPECT_TRUE(f.service().worker().running());
  EXPECT_EQ(f.service().stopFlag().load(), 0);
  EXPECT_EQ(f.service().ports().count, 1);
  EXPECT_EQ(f.service().ports().Name(0), "COM6");
  EXPECT_EQ(f.List(controls::kRelayPortList), Names{"COM6"});
  EXPECT_EQ(f.List(controls::kAppPortList), Names{"COM5"});
  EXPECT_EQ(f.List(controls::kAllVirtualList), Names{"COM5"});
  EXPECT_EQ(f.state().applicationEndCount, 1);  // the scan's counts are kept
  EXPECT_EQ(f.state().relayEndCount, 1);
  EXPECT_EQ(f.view.texts[controls::kPortCountEdit], "1");
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=COM6\n");
  EXPECT_EQ(f.view.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 100}));
  EXPECT_EQ(f.clock.sleeps(), (Sleeps{1000, 1500, 100}));
  ASSERT_FALSE(f.prompt.shown().empty());
  EXPECT_EQ(LastShown(), kDone);
  EXPECT_EQ(f.prompt.shown().back().kind, core::kStatusNormal);
  EXPECT_EQ(f.view.calls.front(), "progress shown");
  EXPECT_EQ(f.view.Count("select 1019 TCP/IP"), 1);
  EXPECT_EQ(f.view.calls.back(), "restore from tray");
  EXPECT_EQ(f.view.Count("progress hidden"), 1);
  EXPECT_EQ(f.view.Count("normal cursor"), 1);
  EXPECT_EQ(f.view.Count("post close"), 0);
  const std::string log = f.Log();
  const size_t start = log.find("[CHANGE] : Start refresh the port");
  ASSERT_NE(start, std::string::npos);
  EXPECT_NE(log.find("[CHANGE] : End refresh the port", start), std::string::npos);
}

TEST_F(PortRefresh, RepeatedRefreshesKeepOneCopyOfEachVirtualPort) {
  StartRelay("COM5", "COM6");
  for (int i = 0; i < 3; ++i) {
    f.PreparePort("COM6");
    Refresh();
  }
  EXPECT_EQ(f.List(controls::kAllVirtualList), Names{"COM5"});
  EXPECT_EQ(f.List(controls::kAppPortList), Names{"COM5"});
  EXPECT_EQ(f.List(controls::kRelayPortList), Names{"COM6"});
}

TEST_F(PortRefresh, PlainModeWithoutAPairLeavesNoRelayPort) {
  StartRelay("", "");
  Refresh();
  EXPECT_EQ(f.service().ports().count, 0);
  EXPECT_EQ(f.view.texts[controls::kPortCountEdit], "0");
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=\n");
  EXPECT_EQ(f.view.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 80, 100}));
  EXPECT_EQ(f.clock.sleeps(), (Sleeps{1000, 1500}));
  EXPECT_EQ(LastShown(), kDone);
}

TEST_F(PortRefresh, ARelayEndThatIsNoComNameIsNeitherOpenedNorReported) {
  StartRelay("COM5", "LPT1");
  Refresh();
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=LPT1\n");
  EXPECT_EQ(f.service().ports().count, 0);
  EXPECT_TRUE(f.List(controls::kRelayPortList).empty());
  EXPECT_EQ(f.view.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 100}));
  EXPECT_EQ(f.Shown().back(), kDone);
  EXPECT_EQ(f.view.Count("post close"), 0);
}

TEST_F(PortRefresh, APortThatCannotBeOpenedIsCountedReportedAndClosesTheProgram) {
  StartRelay("COM5", "COM6");  // COM6 is not prepared again: the reopen fails
  Refresh();
  EXPECT_EQ(f.List(controls::kRelayPortList), Names{"COM6"});
  EXPECT_EQ(f.service().ports().count, 1);
  EXPECT_EQ(f.service().ports().handles[0], nullptr);
  EXPECT_EQ(f.view.texts[controls::kPortCountEdit], "1");
  EXPECT_FALSE(f.PortListExists());
  const Names shown = f.Shown();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[shown.size() - 2], kOpenError);
  EXPECT_EQ(shown.back(), kDone);
  EXPECT_EQ(f.view.Count("post close"), 1);
  // The message has no room for the reason; the log has.
  EXPECT_NE(
      f.Log().find("[ERROR] : COM6 : the relay port cannot be opened: the port cannot be opened\n"),
      std::string::npos)
      << f.Log();
}

TEST_F(PortRefresh, AnOpenErrorNamesPortListsWhenItCannotBeDeleted) {
  StartRelay("COM5", "COM6");
  f.fake.files.failRemovals = true;
  Refresh();
  EXPECT_TRUE(f.PortListExists());
  const Names shown = f.Shown();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[shown.size() - 2],
            "An error occurred when opening the port.\nAutomatically close the program.\nPlease "
            "delete the " +
                f.dir.File("PortLists.ini") + " file and run it again!!!");
}

struct AddingRow {
  const char* what;
  std::string port1;       // Port1 before the refresh ("" or COM6: prev 0 or 1)
  std::string app, relay;  // pair 0 after the installation
  std::function<void(fakes::ProvisioningFixture&, size_t, uint32_t)> meanwhile;
  Names shown;  // messages, "Changes are done." included
  Sleeps sleeps;
  std::string portList;  // "<gone>" when deleted
  int closes;
};

TEST_F(PortRefresh, AddingModeChecksTheInstalledPairOnEveryPath) {
  auto appearsAfter = [](size_t sleep, std::string app, std::string relay) {
    return [=](fakes::ProvisioningFixture& g, size_t index, uint32_t) {
      if (index == sleep) g.SetPair(app, relay);
    };
  };
  const AddingRow rows[] = {
      {"new pair where there was none: no rescan",
       "",
       "COM5",
       "COM6",
       nullptr,
       {kDone},
       {4000, 1500, 100},
       "[Ports]\nPort1=COM6\n",
       0},
      {"pair already there (prev 1): two rescans, then the notice",
       "COM6",
       "COM5",
       "COM6",
       nullptr,
       {kNotice, kDone},
       {4000, 4000, 1000, 1500, 100},
       "[Ports]\nPort1=COM6\n",
       0},
      {"installation cancelled: nothing changed, the notice",
       "",
       "",
       "",
       nullptr,
       {kNotice, kDone},
       {4000, 4000, 1000, 1500},
       "[Ports]\nPort1=\n",
       0},
      {"pair appears before the second rescan",
       "",
       "",
       "",
       appearsAfter(1, "COM5", "COM6"),
       {kDone},
       {4000, 4000, 1500, 100},
       "[Ports]\nPort1=COM6\n",
       0},
      {"pair appears before the first rescan",
       "",
       "",
       "",
       appearsAfter(0, "COM5", "COM6"),
       {kDone},
       {4000, 1500, 100},
       "[Ports]\nPort1=COM6\n",
       0},
      {"pair appears while the notice is up",
       "",
       "",
       "",
       nullptr,
       {kNotice, kDone},
       {4000, 4000, 1000, 1500, 100},
       "[Ports]\nPort1=COM6\n",
       0},
      {"COM name on the relay end only: error [2]",
       "",
       "",
       "COM6",
       nullptr,
       {kError2, kDone},
       {4000, 4000, 1500},
       "<gone>",
       1},
      {"ends disagree until the application end appears",
       "",
       "",
       "COM6",
       appearsAfter(0, "COM5", "COM6"),
       {kDone},
       {4000, 1500, 100},
       "[Ports]\nPort1=COM6\n",
       0},
      {"the pair went away during the installation: error [1]",
       "COM6",
       "",
       "",
       nullptr,
       {kError1, kDone},
       {4000, 4000, 1500},
       "<gone>",
       1},
  };
  for (const AddingRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::ProvisioningFixture g;
    g.WritePortList(row.port1);
    g.service().stopFlag() = 1;
    g.state().addingMode = 1;
    g.SetPair(row.app, row.relay);
    g.PreparePort("COM6");
    if (row.meanwhile) g.clock.onSleep = [&](size_t i, uint32_t ms) { row.meanwhile(g, i, ms); };
    if (std::string(row.what).find("notice is up") != std::string::npos)
      g.prompt.onShow = [&](const fakes::Shown&, size_t) { g.SetPair("COM5", "COM6"); };
    provisioning::RefreshPorts(g.service(), g.state());
    g.clock.onSleep = nullptr;
    g.prompt.onShow = nullptr;
    EXPECT_EQ(g.Shown(), row.shown);
    EXPECT_EQ(g.clock.sleeps(), row.sleeps);
    EXPECT_EQ(g.PortListExists() ? g.PortList() : "<gone>", row.portList);
    EXPECT_EQ(g.view.Count("post close"), row.closes);
    EXPECT_TRUE(g.service().worker().running());
    EXPECT_EQ(g.view.calls.back(), "restore from tray");
  }
}

TEST_F(PortRefresh, AFailedCheckNamesPortListsWhenItCannotBeDeleted) {
  Stopped("");
  f.SetPair("", "COM6");
  f.fake.files.failRemovals = true;
  f.PreparePort("COM6");
  Refresh();
  ASSERT_FALSE(f.Shown().empty());
  EXPECT_EQ(f.Shown().front(),
            "[2] An error occurred when adding the port.\nAutomatically close the program.\nPlease "
            "delete the " +
                f.dir.File("PortLists.ini") + " file and run it again!!!");
  EXPECT_EQ(f.view.Count("post close"), 1);
  // The file stayed, so the refresh goes on with the relay end it names.
  EXPECT_EQ(f.service().ports().count, 1);
}

TEST_F(PortRefresh, ErrorOneNamesTheFileWhenItCannotBeDeleted) {
  Stopped("COM6");
  f.fake.files.failRemovals = true;
  Refresh();
  ASSERT_FALSE(f.Shown().empty());
  EXPECT_EQ(f.Shown().front(),
            "[1] An error occurred when adding the port.\nAutomatically close the program.\nPlease "
            "delete the " +
                f.dir.File("PortLists.ini") + " file and run it again!!!");
}

TEST_F(PortRefresh, KoreanMessagesForTheKoreanCodePage) {
  f.fake.system.codePage = 949;
  StartRelay("COM5", "COM6");
  f.PreparePort("COM6");
  Refresh();
  EXPECT_EQ(f.prompt.texts().back(), "TCP/IP(10.0.0.9) 포트 : 변경사항이 완료되었습니다.");
}

}  // namespace
