// The uninstaller on fakes: the uninstall-entry searches (prefix without
// regard to case, blank versus hyphen, machine-wide then per user, the x64
// key), the removal order, a relay that will not end, an autostart value
// that points elsewhere, read-only settings files, the application ports.
// Its texts are written out: it is the golden test of
// uninstaller/uninstaller_texts.h.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/serial_port.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/temp_dir.h"
#include "uninstaller/uninstall_search.h"
#include "uninstaller/uninstaller_dialog.h"

namespace {

using uninstaller::kUninstallKey;
using uninstaller::kUninstallKeyWow64;

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kUserUninstallKey = std::string(fakes::kUserRoot) + kUninstallKey;

std::string PortKey(int n) {
  return "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCA" + std::to_string(n) +
         "\\Device Parameters";
}

// A port that records how it was set up, and fails where a test says.
struct PortRecord {
  uint32_t queueIn = 0, queueOut = 0;
  unsigned purged = 0;
  platform::CommTimeouts timeouts;
  platform::LineSettings line;
  bool lineSet = false;
  bool failTimeouts = false, failGetState = false, failSetState = false;
};

class RecordingPort : public platform::SerialPort {
 public:
  explicit RecordingPort(PortRecord& record) : r_(record) {}
  bool SetupQueues(uint32_t in, uint32_t out) override {
    r_.queueIn = in;
    r_.queueOut = out;
    return true;
  }
  bool Purge(unsigned flags) override {
    r_.purged = flags;
    return true;
  }
  bool GetTimeouts(platform::CommTimeouts& t) override {
    t = platform::CommTimeouts{platform::kMaxDword, 0, 0, 0, 0};
    return true;
  }
  bool SetTimeouts(const platform::CommTimeouts& t) override {
    r_.timeouts = t;
    return !r_.failTimeouts;
  }
  bool GetLineSettings(platform::LineSettings& line) override {
    line.baudRate = 115200;
    line.ctsFlow = true;
    line.dtrEnable = false;
    return !r_.failGetState;
  }
  bool SetLineSettings(const platform::LineSettings& line) override {
    r_.line = line;
    r_.lineSet = true;
    return !r_.failSetState;
  }
  bool GetModemStatus(platform::ModemStatus&) override { return false; }
  int QueuedInput() override { return 0; }
  int Read(uint8_t*, int) override { return 0; }
  int Write(const uint8_t*, int size, uint32_t) override { return size; }
  bool WaitReadable(uint32_t) override { return false; }

 private:
  PortRecord& r_;
};

class RecordingPorts : public platform::SerialPorts {
 public:
  std::unique_ptr<platform::SerialPort> Open(const std::string& path, bool) override {
    opened.push_back(path);
    auto it = ports.find(path);
    if (it == ports.end()) return nullptr;
    return std::make_unique<RecordingPort>(it->second);
  }
  std::map<std::string, PortRecord> ports;
  std::vector<std::string> opened;
};

class RecordingUninstallView : public uninstaller::UninstallerView {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  void SetControlText(int control, const std::string& text) override { texts[control] = text; }
  bool IsChecked(int control) override { return checked.count(control) > 0; }
  void SetChecked(int control, bool on) override {
    if (on)
      checked.insert(control);
    else
      checked.erase(control);
  }
  void EnableControl(int control, bool enabled) override { this->enabled[control] = enabled; }
  void PostClose() override { ++closes; }

  std::string caption;
  std::map<int, std::string> texts;
  std::set<int> checked;
  std::map<int, bool> enabled;
  int closes = 0;
};

class Uninstaller : public ::testing::Test {
 protected:
  Uninstaller() {
    fake.files.SetModuleFileName(dir.File("relayremove.exe"));
    fake.platform.serialPorts = &ports;
    fake.platform.durableFiles = platform::Native().durableFiles;
  }

  // An entry of the uninstall list under `key` (machine-wide, or the user's
  // keys when it starts with kUserRoot).
  void AddEntry(const std::string& key, const std::string& name, const std::string& displayName,
                const std::string& command) {
    const std::string path = key + "\\" + name;
    fake.registry.Set(path, "DisplayName", displayName);
    if (!command.empty()) fake.registry.Set(path, "UninstallString", command);
  }
  void Settings() {
    support::WriteFile(dir.File("Settings.ini"), "[Settings]\n");
    support::WriteFile(dir.File("PortLists.ini"), "[Ports]\n");
    std::filesystem::create_directory(dir.File("Journal"));
    support::WriteFile(dir.File("Journal/2026_12_09.jnl"), "receipts");
  }
  bool Exists(const std::string& name) { return fake.files.FileExists(dir.File(name)); }
  int Search(uninstaller::RegistryRoot root, const std::string& key, const std::string& prefix) {
    return uninstaller::SearchUninstallEntry(fake.platform, root, key, prefix);
  }

  support::TempDir dir;
  fakes::FakePlatform fake;
  RecordingPorts ports;
  RecordingUninstallView view;
  uninstaller::UninstallerDialog dialog{fake.platform, view};
};

struct PrefixRow {
  const char* name;
  bool matches;
};

TEST(UninstallEntryPrefix, MatchesTheFirstCharactersWithoutRegardToCase) {
  const PrefixRow rows[] = {
      {"Null-modem emulator", true},
      {"Null-modem emulator (com0com)", true},
      {"NULL-MODEM EMULATOR 3.0", true},
      {"null-modem emulator", true},
      {"Null modem emulator (com0com)", false},  // a blank instead of the hyphen
      {"Null-modem emulato", false},             // shorter than the prefix
      {"The Null-modem emulator", false},
      {"", false},
  };
  for (const PrefixRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(uninstaller::MatchesPrefix(row.name, "Null-modem emulator"), row.matches);
  }
}

TEST_F(Uninstaller, TheSearchRunsTheFirstMatchingEntryAndStops) {
  AddEntry(kUninstallKey, "A", "Other product", "other.exe");
  AddEntry(kUninstallKey, "B", "Null modem emulator", "blank.exe");
  AddEntry(kUninstallKey, "C", "null-MODEM emulator (com0com)", "\"C:\\com0com\\uninstall.exe\"");
  AddEntry(kUninstallKey, "D", "Null-modem emulator 2", "second.exe");
  EXPECT_EQ(Search(uninstaller::RegistryRoot::kMachine, kUninstallKey, "Null-modem emulator"),
            uninstaller::kSearchSucceeded);
  EXPECT_EQ(fake.processes.commands, std::vector<std::string>{"\"C:\\com0com\\uninstall.exe\""});
}

TEST_F(Uninstaller, AnEntryWhoseCommandCannotStartOrIsUnreadableIsPassedOver) {
  AddEntry(kUninstallKey, "A", "KELVO DOVI Service", "");                      // no UninstallString
  AddEntry(kUninstallKey, "B", "KELVO DOVI Service", std::string(1025, 'x'));  // too long
  AddEntry(kUninstallKey, "C", "KELVO DOVI Service", "fails.exe");
  AddEntry(kUninstallKey, "D", "KELVO DOVI Service", "works.exe");
  fake.processes.onCommand = [](const std::string& c) { return c == "fails.exe" ? -1 : 0; };
  EXPECT_EQ(Search(uninstaller::RegistryRoot::kMachine, kUninstallKey, "KELVO DOVI Service"),
            uninstaller::kSearchSucceeded);
  EXPECT_EQ(fake.processes.commands, (std::vector<std::string>{"fails.exe", "works.exe"}));
}

struct FallbackRow {
  const char* what;
  bool machineKey;        // the machine-wide list exists
  bool machineListFails;  // ... but cannot be listed
  bool machineEntry;      // ... and holds the entry
  std::vector<std::string> commands;
};

TEST_F(Uninstaller, ThePerUserListIsSearchedOnlyWhenTheMachineWideSearchFails) {
  const FallbackRow rows[] = {
      {"machine-wide entry", true, false, true, {"machine.exe"}},
      {"machine-wide list without the entry", true, false, false, {}},
      {"no machine-wide list", false, false, false, {"user.exe"}},
      {"a machine-wide list that cannot be listed", true, true, true, {"user.exe"}},
  };
  for (const FallbackRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakePlatform f;
    if (row.machineKey) f.registry.MakeKey(kUninstallKey);
    if (row.machineEntry)
      f.registry.Set(std::string(kUninstallKey) + "\\M", "DisplayName", "KELVO DOVI Service");
    if (row.machineEntry)
      f.registry.Set(std::string(kUninstallKey) + "\\M", "UninstallString", "machine.exe");
    if (row.machineListFails) f.registry.FailEnumeration(kUninstallKey);
    f.registry.Set(kUserUninstallKey + "\\U", "DisplayName", "KELVO DOVI Service");
    f.registry.Set(kUserUninstallKey + "\\U", "UninstallString", "user.exe");
    uninstaller::SearchMachineThenUser(f.platform, kUninstallKey, "KELVO DOVI Service");
    EXPECT_EQ(f.processes.commands, row.commands);
  }
}

struct ArchitectureRow {
  int processor;
  const char* key;
};

TEST_F(Uninstaller, TheDriverEntryIsLookedForUnderTheKeyOfTheArchitecture) {
  const ArchitectureRow rows[] = {
      {platform::kProcessorIntel, kUninstallKey},
      {platform::kProcessorAmd64, kUninstallKeyWow64},
      {platform::kProcessorIa64, kUninstallKeyWow64},
      {12, kUninstallKey},  // ARM64: unknown here, the x86 value stays
  };
  for (const ArchitectureRow& row : rows) {
    SCOPED_TRACE(row.processor);
    fakes::FakePlatform f;
    f.processes.processor = row.processor;
    RecordingUninstallView v;
    uninstaller::UninstallerDialog d(f.platform, v);
    d.RemoveDriver();
    // Machine-wide first, then the user's; both in the 64-bit view.
    EXPECT_EQ(f.registry.opens,
              (std::vector<std::string>{std::string(row.key) + " [64]",
                                        std::string(fakes::kUserRoot) + row.key + " [64]"}));
  }
}

TEST_F(Uninstaller, OnX64TheDriverEntryUnderWow6432NodeIsRunAndThePlainOneIsNot) {
  fake.processes.processor = platform::kProcessorAmd64;
  AddEntry(kUninstallKey, "com0com", "Null-modem emulator (com0com)", "plain.exe");
  AddEntry(kUninstallKeyWow64, "com0com", "Null-modem emulator (com0com)", "wow.exe");
  dialog.RemoveDriver();
  EXPECT_EQ(fake.processes.commands, std::vector<std::string>{"wow.exe"});
}

TEST_F(Uninstaller, RemovalEndsTheRelayBeforeItsEntryRunsAndDeletesTheRestAfterwards) {
  Settings();
  fake.runningPrograms.running = true;
  fake.registry.Set(kRunKey, "portrelay", dir.File("relaytray.exe"));
  AddEntry(kUninstallKey, "KELVO DOVI Service", "KELVO DOVI Service", "uninstall.exe");
  AddEntry(kUninstallKey, "com0com", "Null-modem emulator", "com0com.exe");
  fake.processes.processor = platform::kProcessorIntel;
  std::vector<std::string> order;
  fake.runningPrograms.onEnd = [&] { order.push_back("relay ended"); };
  fake.processes.onCommand = [&](const std::string& command) {
    order.push_back(
        command + (Exists("Settings.ini") ? " (settings there)" : " (no settings)") +
        (fake.registry.Get(kRunKey, "portrelay") == "<none>" ? " (no run value)" : " (run value)"));
    return 0;
  };
  dialog.OnInitDialog();
  dialog.OnDeleteClicked();
  EXPECT_EQ(order,
            (std::vector<std::string>{"relay ended", "uninstall.exe (settings there) (run value)",
                                      "com0com.exe (no settings) (no run value)"}));
  EXPECT_EQ(fake.runningPrograms.exitCode, 1u);
  // Only the relay is looked for: a running launcher is left alone.
  EXPECT_EQ(fake.runningPrograms.calls.front(), "find portrelay.exe KelvoSvr");
  EXPECT_EQ(fake.registry.Get(kRunKey, "portrelay"), "<none>");
  EXPECT_FALSE(Exists("Settings.ini"));
  EXPECT_FALSE(Exists("PortLists.ini"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("Journal")));
  EXPECT_EQ(view.closes, 1);
}

TEST_F(Uninstaller, WithTheDriverBoxClearedOnlyTheServiceIsRemoved) {
  AddEntry(kUninstallKey, "KELVO DOVI Service", "KELVO DOVI Service", "uninstall.exe");
  AddEntry(kUninstallKey, "com0com", "Null-modem emulator", "com0com.exe");
  fake.processes.processor = platform::kProcessorIntel;
  dialog.OnInitDialog();
  view.SetChecked(uninstaller::kDriverBox, false);
  dialog.OnCheckBoxClicked();
  EXPECT_TRUE(view.enabled[uninstaller::kDeleteButton]);
  dialog.OnDeleteClicked();
  EXPECT_EQ(fake.processes.commands, std::vector<std::string>{"uninstall.exe"});
  EXPECT_EQ(view.closes, 1);
}

TEST_F(Uninstaller, TheDeleteButtonIsEnabledExactlyWhileABoxIsTicked) {
  dialog.OnInitDialog();
  EXPECT_EQ(view.checked, (std::set<int>{uninstaller::kServiceBox, uninstaller::kDriverBox}));
  view.checked.clear();
  dialog.OnCheckBoxClicked();
  EXPECT_FALSE(view.enabled[uninstaller::kDeleteButton]);
  view.SetChecked(uninstaller::kDriverBox, true);
  dialog.OnCheckBoxClicked();
  EXPECT_TRUE(view.enabled[uninstaller::kDeleteButton]);
}

TEST_F(Uninstaller, TheRemovalRunsOnceHoweverOftenTheButtonIsPressed) {
  AddEntry(kUninstallKey, "KELVO DOVI Service", "KELVO DOVI Service", "uninstall.exe");
  dialog.OnInitDialog();
  dialog.OnDeleteClicked();
  dialog.OnDeleteClicked();
  EXPECT_EQ(fake.processes.commands.size(), 1u);
  EXPECT_EQ(view.closes, 1);
}

struct StopRow {
  const char* what;
  bool running;
  bool ignoresExit;
  int requestError;
  bool terminateFails;
  std::vector<std::string> calls;  // after the find
  bool ended;
};

TEST_F(Uninstaller, ARelayThatDoesNotEndWhenAskedIsEndedByForceWithinABound) {
  const StopRow rows[] = {
      {"not running", false, false, 0, false, {}, false},
      {"ends when asked", true, false, 0, false, {"request exit 1", "wait 10000"}, true},
      {"ignores the request",
       true,
       true,
       0,
       false,
       {"request exit 1", "wait 10000", "terminate 1", "wait 5000"},
       true},
      {"no thread can be started in it",
       true,
       false,
       5,
       false,
       {"request exit 1", "terminate 1", "wait 5000"},
       true},
      {"cannot be ended at all",
       true,
       true,
       0,
       true,
       {"request exit 1", "wait 10000", "terminate 1"},
       false},
  };
  for (const StopRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakePlatform f;
    f.runningPrograms.running = row.running;
    f.runningPrograms.ignoresExitRequest = row.ignoresExit;
    f.runningPrograms.requestError = row.requestError;
    f.runningPrograms.terminateFails = row.terminateFails;
    RecordingUninstallView v;
    uninstaller::UninstallerDialog d(f.platform, v);
    d.StopService();
    std::vector<std::string> expected{"find portrelay.exe KelvoSvr"};
    expected.insert(expected.end(), row.calls.begin(), row.calls.end());
    EXPECT_EQ(f.runningPrograms.calls, expected);
    EXPECT_EQ(f.runningPrograms.exitCode.has_value(), row.ended);
    if (row.ended) {
      EXPECT_EQ(*f.runningPrograms.exitCode, 1u);
    }
    const auto lines = f.system.debugLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], row.running ? "실행 중...!" : "실행 xxx..!");
  }
}

struct RunValueRow {
  const char* what;
  std::string value;  // "" for none
  std::vector<std::string> traces;
};

TEST_F(Uninstaller, TheAutostartValueIsDeletedWhateverItNames) {
  const RunValueRow rows[] = {
      {"beside the uninstaller",
       "C:\\KELVO\\relaytray.exe",
       {"Register Read SUCCESS", "C:\\KELVO\\relaytray.exe", "reg=0 ERROR_SUCCESS=0"}},
      {"another folder",
       "D:\\X\\relaytray.exe",
       {"Register Read SUCCESS", "D:\\X\\relaytray.exe", "reg=0 ERROR_SUCCESS=0"}},
      {"too long for a fixed buffer",
       std::string(5000, 'v'),
       {"Register Read SUCCESS", std::string(5000, 'v'), "reg=0 ERROR_SUCCESS=0"}},
      {"no value", "", {"Register Read Error"}},
  };
  for (const RunValueRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakePlatform f;
    f.registry.MakeKey(kRunKey);
    if (!row.value.empty()) f.registry.Set(kRunKey, "portrelay", row.value);
    RecordingUninstallView v;
    uninstaller::UninstallerDialog d(f.platform, v);
    d.DeleteAutostartValue();
    EXPECT_EQ(f.registry.Get(kRunKey, "portrelay"), "<none>");
    EXPECT_EQ(f.system.debugLines(), row.traces);
  }
}

TEST_F(Uninstaller, ARunKeyThatCannotBeOpenedIsPassedOver) {
  fake.registry.Set(kRunKey, "portrelay", "C:\\KELVO\\relaytray.exe");
  fake.registry.DenyWrites(kRunKey);
  dialog.DeleteAutostartValue();
  EXPECT_EQ(fake.system.debugLines(), std::vector<std::string>{"Register Open Error"});
}

TEST_F(Uninstaller, ReadOnlySettingsFilesAreDeletedToo) {
  Settings();
  fake.files.readOnly = {dir.File("Settings.ini"), dir.File("PortLists.ini")};
  dialog.DeleteSettingsFiles();
  EXPECT_FALSE(Exists("Settings.ini"));
  EXPECT_FALSE(Exists("PortLists.ini"));
}

TEST_F(Uninstaller, SettingsFilesThatCannotBeDeletedDoNotStopTheRemoval) {
  Settings();
  fake.files.failRemovals = true;
  AddEntry(kUninstallKey, "com0com", "Null-modem emulator", "com0com.exe");
  fake.processes.processor = platform::kProcessorIntel;
  dialog.OnInitDialog();
  dialog.OnDeleteClicked();
  EXPECT_TRUE(Exists("Settings.ini"));
  EXPECT_EQ(fake.processes.commands, std::vector<std::string>{"com0com.exe"});
  EXPECT_EQ(view.closes, 1);
}

TEST_F(Uninstaller, TheApplicationPortsAreReadUntilAPairWithoutANameEndsTheScan) {
  fake.registry.Set(PortKey(0), "PortName", "COM5");
  fake.registry.Set(PortKey(2), "PortName", std::string("COM9\0", 5));  // with its terminator
  fake.registry.MakeKey(PortKey(3));                                    // no PortName
  fake.registry.Set(PortKey(4), "PortName", "COM11");
  dialog.FillApplicationPorts();
  EXPECT_EQ(dialog.applicationPorts(), (std::vector<std::string>{"COM5", "COM9"}));
}

TEST_F(Uninstaller, EachApplicationPortIsLeftAsAPlainLine) {
  fake.registry.Set(PortKey(0), "PortName", "COM5");
  fake.registry.Set(PortKey(1), "PortName", "COM7");  // cannot be opened
  ports.ports["\\\\.\\COM5"];
  dialog.OnInitDialog();
  dialog.ReleaseApplicationPorts();
  EXPECT_EQ(ports.opened, (std::vector<std::string>{"\\\\.\\COM5", "\\\\.\\COM7"}));
  const PortRecord& port = ports.ports["\\\\.\\COM5"];
  EXPECT_EQ(port.queueIn, 8192u);
  EXPECT_EQ(port.queueOut, 8192u);
  EXPECT_EQ(port.purged, 15u);
  EXPECT_EQ(port.timeouts.readInterval, 50u);
  EXPECT_EQ(port.timeouts.readTotalMultiplier, 0u);
  EXPECT_EQ(port.timeouts.readTotalConstant, 100u);
  EXPECT_EQ(port.timeouts.writeTotalMultiplier, 2u);
  EXPECT_EQ(port.timeouts.writeTotalConstant, 0u);
  ASSERT_TRUE(port.lineSet);
  EXPECT_EQ(port.line.baudRate, 9600u);
  EXPECT_EQ(port.line.dataBits, 8);
  EXPECT_FALSE(port.line.ctsFlow);
  EXPECT_TRUE(port.line.dtrEnable);
  EXPECT_TRUE(fake.system.messageBoxes().empty());
}

struct PortFailureRow {
  bool timeouts, getState, setState;
  const char* box;
};

TEST_F(Uninstaller, APortThatRefusesASettingIsReportedInAnEnglishBoxAndTheNextOneFollows) {
  const PortFailureRow rows[] = {
      {true, false, false, "relayremove|SetCommTimeouts() Fail in \\\\.\\COM5"},
      {false, true, false, "relayremove|GetCommState() Fail in \\\\.\\COM5"},
      {false, false, true, "relayremove|SetCommState() Fail in \\\\.\\COM5"},
  };
  for (const PortFailureRow& row : rows) {
    SCOPED_TRACE(row.box);
    fakes::FakePlatform f;
    RecordingPorts p;
    f.platform.serialPorts = &p;
    f.registry.Set(PortKey(0), "PortName", "COM5");
    f.registry.Set(PortKey(1), "PortName", "COM6");
    PortRecord& failing = p.ports["\\\\.\\COM5"];
    failing.failTimeouts = row.timeouts;
    failing.failGetState = row.getState;
    failing.failSetState = row.setState;
    p.ports["\\\\.\\COM6"];
    RecordingUninstallView v;
    uninstaller::UninstallerDialog d(f.platform, v);
    d.OnInitDialog();
    d.ReleaseApplicationPorts();
    EXPECT_EQ(f.system.messageBoxes(), std::vector<std::string>{row.box});
    EXPECT_TRUE(p.ports["\\\\.\\COM6"].lineSet);
  }
}

TEST_F(Uninstaller, EnglishTextsReplaceTheTemplatesOnlyOutsideCodePage949) {
  dialog.OnInitDialog();
  EXPECT_EQ(view.caption, "KELVO DOVI Service and Virtual COM Port Driver Uninstaller");
  EXPECT_EQ(view.texts[uninstaller::kDeleteButton], "Delete Print Service or Virtual COM Driver");
  EXPECT_EQ(view.texts[uninstaller::kServiceBox], "Delete print service");
  EXPECT_EQ(view.texts[uninstaller::kDriverBox], "Delete Virtual COM Driver");
  EXPECT_EQ(view.texts[uninstaller::kExitButton], "Exit");

  fakes::FakePlatform korean;
  korean.system.codePage = 949;
  RecordingUninstallView v;
  uninstaller::UninstallerDialog d(korean.platform, v);
  d.OnInitDialog();
  EXPECT_EQ(v.caption, "");
  EXPECT_TRUE(v.texts.empty());
}

}  // namespace
