// EditSettings through ServiceDialog with a scripted dialog: which keys are
// written and logged and in what order, when the printer is reconnected and
// the ports refreshed, the dialog coming back after a failed reconnection,
// and what free text in the time-out edits turns into.
#include "app/settings_edit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/fakes/provisioning_fixture.h"

namespace {

using Names = std::vector<std::string>;

// Answers each showing with the next scripted step: it edits the texts the
// dialog holds and returns 1 (Save) or 2 (Cancel).
class ScriptedSettingsForm : public app::SettingsForm {
 public:
  using Step = std::function<int(app::SettingsTexts&)>;
  int Show(app::SettingsTexts& texts, int firstShowing) override {
    shown.push_back({texts, firstShowing});
    if (steps.empty()) return 2;
    Step step = steps.front();
    steps.pop_front();
    return step(texts);
  }
  struct Showing {
    app::SettingsTexts texts;
    int firstShowing;
  };
  std::deque<Step> steps;
  std::vector<Showing> shown;
};

ScriptedSettingsForm::Step Save(std::function<void(app::SettingsTexts&)> edit) {
  return [edit](app::SettingsTexts& t) {
    edit(t);
    return 1;
  };
}

const char* const kSettings =
    "Port=TCP/IP\nIP=10.0.0.9\nTimeout=1000\nBaudrate=9600\nRealtime=YES\nPopup=NO\n"
    "LogFile=YES\nReprint=YES\nResultTimeout=10000\n";

class EditSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    f.SetPair("COM5", "COM6");
    f.PreparePort("COM6");
    ASSERT_EQ(f.dialog->OnInitDialog(), 1);
    f.dialog->SetSettingsForm(&form);
    f.PreparePort("COM6");  // for the refresh's reopening
    f.link.events.clear();
    f.link.opens.clear();
    f.clock.ForgetSleeps();
    f.prompt.onShow = nullptr;
    logBefore = AllLogs().size();
  }
  std::string Setting(const std::string& key) {
    return core::ReadSetting(*f.fake.platform.profile, "Settings", key,
                             f.service().settings().settingsPath);
  }
  // Every day's log in order: the relay worker's waits move the fake clock
  // on, sometimes past midnight.
  std::string AllLogs() {
    const std::string folder = f.dir.File("MainLog");
    std::vector<std::string> files;
    if (std::filesystem::exists(folder))
      for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::string all;
    for (const std::string& file : files)
      for (char c : support::ReadFile(file))
        if (c != '\r') all += c;
    return all;
  }
  // The log's lines at level Change written by the edit.
  Names ChangeLines() {
    Names lines;
    const std::string log = AllLogs().substr(logBefore);
    size_t at = 0;
    for (size_t end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = log.substr(at, end - at);
      const size_t tag = line.find("[CHANGE] : ");
      if (tag != std::string::npos) lines.push_back(line.substr(tag + 11));
    }
    return lines;
  }

  fakes::ProvisioningFixture f{kSettings};
  ScriptedSettingsForm form;
  size_t logBefore = 0;
};

TEST_F(EditSettings, CancelWritesNothing) {
  const std::string before = support::ReadFile(f.dir.File("Settings.ini"));
  f.dialog->EditSettings();
  ASSERT_EQ(form.shown.size(), 1u);
  EXPECT_EQ(form.shown[0].firstShowing, 1);
  EXPECT_EQ(form.shown[0].texts, (app::SettingsTexts{"TCP/IP", "1000", "9600", "YES", "NO", "YES",
                                                     "10.0.0.9", "YES", "10000"}));
  EXPECT_EQ(support::ReadFile(f.dir.File("Settings.ini")), before);
  EXPECT_TRUE(f.link.events.empty());
  EXPECT_TRUE(ChangeLines().empty());
}

TEST_F(EditSettings, PopupAloneIsWrittenAndLoggedWithoutReconnecting) {
  form.steps.push_back(Save([](auto& t) { t.popup = "YES"; }));
  f.dialog->EditSettings();
  EXPECT_EQ(Setting("Popup"), "YES");
  EXPECT_EQ(f.service().settings().popupOn.load(), 1);
  EXPECT_EQ(ChangeLines(), Names{"Pop-up : = YES"});
  EXPECT_TRUE(f.link.events.empty()) << "the printer was reconnected";
  EXPECT_TRUE(f.prompt.texts().empty()) << "the ports were refreshed";
}

// Every key changed at once: written and logged in the table's order, the
// baud rate logged like a port change.
TEST_F(EditSettings, KeysAreWrittenInTheTablesOrder) {
  form.steps.push_back(Save([](auto& t) {
    t = {"COM3", "500", "19200", "NO", "YES", "YES", "10.0.0.10", "NO", "3000"};
  }));
  f.dialog->EditSettings();
  EXPECT_EQ(ChangeLines(),
            (Names{"Port : 9600 -> 19200", "Port : TCP/IP -> COM3", "Realtime : = NO",
                   "Pop-up : = YES", "IP : = 10.0.0.10", "Reprint : = NO", "TIMEOUT : = 500",
                   "Result Timeout : = 3000", "Start refresh the port", "End refresh the port"}));
  const core::RelaySettings& s = f.service().settings();
  EXPECT_EQ(s.port, "COM3");
  EXPECT_EQ(s.baudRate.load(), 19200);
  EXPECT_EQ(s.realtimeOn.load(), 0);
  EXPECT_EQ(s.reprintOn.load(), 0);
  EXPECT_EQ(s.receiveTimeoutMs.load(), 500u);
  EXPECT_EQ(s.resultTimeoutMs.load(), 3000u);
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"Port", "COM3"},
                                                        {"Baudrate", "19200"},
                                                        {"Realtime", "NO"},
                                                        {"IP", "10.0.0.10"},
                                                        {"Timeout", "500"}})
    EXPECT_EQ(Setting(key), value) << key;
}

// The log flag counts for its own line.
TEST_F(EditSettings, SwitchingTheLogOffIsNotLoggedOnIs) {
  form.steps.push_back(Save([](auto& t) { t.logFile = "NO"; }));
  f.dialog->EditSettings();
  EXPECT_TRUE(ChangeLines().empty());
  EXPECT_EQ(Setting("LogFile"), "NO");
  form.steps.push_back(Save([](auto& t) { t.logFile = "YES"; }));
  f.dialog->EditSettings();
  EXPECT_EQ(ChangeLines(), Names{"Log File : = YES"});
}

TEST_F(EditSettings, LinkChangeReconnectsThenRefreshesThePorts) {
  form.steps.push_back(Save([](auto& t) { t.ip = "10.0.0.10"; }));
  f.dialog->EditSettings();
  const Names events = f.link.events;
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(Names(events.begin(), events.begin() + 2), (Names{"close", "open"}));
  EXPECT_EQ(f.link.opens.back(), "10.0.0.10/9100");
  EXPECT_EQ(f.clock.sleeps().front(), 1000u);
  EXPECT_EQ(f.state().addingMode, 0);
  EXPECT_EQ(f.prompt.texts(), Names{"TCP/IP(10.0.0.10) port : Changes are done."});
}

TEST_F(EditSettings, WithoutRealtimeTheReconnectedLinkIsClosedAgain) {
  form.steps.push_back(Save([](auto& t) {
    t.realtime = "NO";
    t.port = "COM3";
  }));
  f.dialog->EditSettings();
  ASSERT_GE(f.link.events.size(), 3u);
  EXPECT_EQ(Names(f.link.events.begin(), f.link.events.begin() + 3),
            (Names{"close", "open", "close"}));
  EXPECT_EQ(f.link.opens.back(), "COM3/9600");
}

TEST_F(EditSettings, FailedReconnectionBringsTheDialogBackWithThePreviousValues) {
  f.link.openResults = {-1, 0};
  form.steps.push_back(Save([](auto& t) { t.port = "COM3"; }));
  form.steps.push_back(Save([](auto&) {}));  // the previous values, saved
  f.dialog->EditSettings();
  ASSERT_EQ(form.shown.size(), 2u);
  EXPECT_EQ(form.shown[1].firstShowing, 0);
  EXPECT_EQ(form.shown[1].texts, form.shown[0].texts);
  ASSERT_FALSE(f.prompt.texts().empty());
  EXPECT_EQ(f.prompt.texts().front(),
            "COM3 port : A printer failure has occurred. Please, check the printer.");
  EXPECT_EQ(f.prompt.shown().front().kind, core::kStatusError);
  EXPECT_EQ(ChangeLines(), (Names{"Port : TCP/IP -> COM3", "Port : COM3 -> TCP/IP",
                                  "Start refresh the port", "End refresh the port"}));
  EXPECT_EQ(Setting("Port"), "TCP/IP");
  EXPECT_EQ(f.link.opens, (Names{"COM3/9600", "10.0.0.9/9100"}));
}

// Leaving the dialog after a failed reconnection puts back the values that
// worked, in the record, in Settings.ini and in the printer link.
TEST_F(EditSettings, CancelAfterAFailedReconnectionRestoresThePreviousValues) {
  f.link.openResults = {-1, 0};
  form.steps.push_back(Save([](auto& t) { t.port = "COM3"; }));
  form.steps.push_back([](auto&) { return 2; });
  f.dialog->EditSettings();
  EXPECT_EQ(Setting("Port"), "TCP/IP");
  EXPECT_EQ(f.service().settings().port, "TCP/IP");
  EXPECT_EQ(f.link.opens, (Names{"COM3/9600", "10.0.0.9/9100"}));
  EXPECT_EQ(ChangeLines(), (Names{"Port : TCP/IP -> COM3", "Port : COM3 -> TCP/IP"}));
}

struct TimeoutCase {
  const char* typed;
  uint32_t ms;
};

class TimeoutText : public EditSettings, public ::testing::WithParamInterface<TimeoutCase> {};

// Saved as typed; the number is its leading digits, and a value past the
// bound is the default, at once and when the next start reads the file back.
TEST_P(TimeoutText, IsStoredAsTypedAndReadBack) {
  const std::string typed = GetParam().typed;
  form.steps.push_back(Save([typed](auto& t) { t.timeout = typed; }));
  f.dialog->EditSettings();
  EXPECT_EQ(Setting("Timeout"), typed);
  EXPECT_EQ(f.service().settings().receiveTimeoutMs.load(), GetParam().ms);

  core::RelaySettings next;
  core::LoadSettings(next, f.service().programDirectory(), *f.fake.platform.files,
                     *f.fake.platform.profile);
  EXPECT_EQ(next.timeout, typed);
  EXPECT_EQ(next.receiveTimeoutMs.load(), GetParam().ms);
  EXPECT_EQ(next.port, "TCP/IP") << "the keys after it survived";
}

INSTANTIATE_TEST_SUITE_P(
    Typed, TimeoutText,
    ::testing::Values(TimeoutCase{"abc", 0}, TimeoutCase{"250ms", 250}, TimeoutCase{"60000", 60000},
                      TimeoutCase{"-5", core::kDefaultReceiveTimeoutMs},
                      TimeoutCase{"12345678901234567890", core::kDefaultReceiveTimeoutMs}));

TEST_F(EditSettings, NothingHappensWithoutADialog) {
  f.dialog->SetSettingsForm(nullptr);
  f.dialog->EditSettings();
  EXPECT_TRUE(f.link.events.empty());
}

}  // namespace
