// The settings dialog's presenter on a recording view: what it shows for the
// settings, when Save becomes possible, the printer-driver warning of the port
// list, and what Save takes from the controls. Its texts are written out: it
// is the golden test of core/texts.h, which other suites name texts through.
#include "ui/settings_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/fake_platform.h"
#include "tests/fakes/provisioning_fixture.h"
#include "tests/fakes/scripted_prompt.h"

namespace {

namespace ids = ui::settings_controls;
using Names = std::vector<std::string>;

class FakeSettingsView : public ui::SettingsView {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  void SetText(int control, const std::string& text) override {
    texts[control] = text;
    // An edit control reports its own change, as Windows does.
    if (onTextSet) onTextSet(control);
  }
  std::string Text(int control) override { return texts[control]; }
  void AddEntry(int control, const std::string& text) override { lists[control].push_back(text); }
  void Select(int control, int index) override {
    selected[control] = index >= 0 && index < int(lists[control].size()) ? index : -1;
  }
  int SelectedIndex(int control) override {
    auto it = selected.find(control);
    return it == selected.end() ? -1 : it->second;
  }
  std::string SelectedText(int control) override {
    const int index = SelectedIndex(control);
    return index < 0 ? "" : lists[control][size_t(index)];
  }
  void Enable(int control, bool on) override { enabled[control] = on; }
  void SetAddress(const ui::IpFields& fields) override {
    address = fields;
    addressFull = true;
  }
  void ClearAddress() override { addressFull = false; }
  bool Address(ui::IpFields& fields) override {
    fields = address;
    return addressFull;
  }
  void AddTooltip(int control, const std::string& utf8) override { tips[control] = utf8; }
  void MakeTopmost() override { topmost = true; }
  void Close(int result) override { closed = result; }

  std::string caption;
  std::map<int, std::string> texts;
  std::map<int, Names> lists;
  std::map<int, int> selected;
  std::map<int, bool> enabled;
  ui::IpFields address{};
  bool addressFull = false;
  std::map<int, std::string> tips;
  bool topmost = false;
  int closed = 0;
  std::function<void(int)> onTextSet;
};

const app::SettingsTexts kDefaults{"USB", "1000", "9600", "YES", "NO", "NO", "", "YES", "10000"};

class SettingsDialogTest : public ::testing::Test {
 public:
  SettingsDialogTest() {
    fake.portEnumerator.ports = {"COM1:", "COM5:", "COM6:", "LPT1:", "FILE:", "COM3:"};
    fake.registry.Set(fakes::kAppKey, "PortName", "COM5");
    fake.registry.Set(fakes::kRelayKey, "PortName", "COM6");
  }
  ui::SettingsDialog& Open(const app::SettingsTexts& shown, int firstShowing = 1) {
    texts = shown;
    dialog = std::make_unique<ui::SettingsDialog>(fake.platform, prompt, view, texts, firstShowing);
    view.onTextSet = [this](int) { dialog->OnValueChanged(); };
    dialog->OnInitDialog();
    return *dialog;
  }
  void Choose(int control, const std::string& text) {
    const Names& list = view.lists[control];
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == text) view.selected[control] = int(i);
    if (control == ids::kPortList)
      dialog->OnPortChanged();
    else
      dialog->OnValueChanged();
  }
  void Type(int control, const std::string& text) {
    view.texts[control] = text;
    dialog->OnValueChanged();
  }
  bool SaveEnabled() { return view.enabled[ids::kSave]; }

  fakes::FakePlatform fake;
  fakes::ScriptedPrompt prompt;
  FakeSettingsView view;
  app::SettingsTexts texts;
  std::unique_ptr<ui::SettingsDialog> dialog;
};

TEST_F(SettingsDialogTest, ListsOfferTheRealPortsWithoutThePairs) {
  Open(kDefaults);
  EXPECT_EQ(view.lists[ids::kPortList], (Names{"USB", "COM1", "COM3", "LPT1", "TCP/IP"}));
  EXPECT_EQ(view.lists[ids::kBaudrateList], (Names{"9600", "19200", "38400", "57600", "115200"}));
  for (int list : {ids::kRealtimeList, ids::kPopupList, ids::kLogFileList, ids::kReprintList})
    EXPECT_EQ(view.lists[list], (Names{"YES", "NO"})) << list;
  EXPECT_EQ(view.lists[ids::kMethodList], (Names{"Direct", "Driver"}));
  EXPECT_EQ(view.selected[ids::kMethodList], 0);
  // The pair's entries are emptied in the dialog's own table, the count kept.
  EXPECT_EQ(dialog->portTable().count, 4);
  EXPECT_STREQ(dialog->portTable().names[1].data(), "");
  EXPECT_STREQ(dialog->portTable().names[2].data(), "");
}

TEST_F(SettingsDialogTest, ShowsTheSettingsAsTheyAre) {
  Open(kDefaults);
  EXPECT_EQ(view.SelectedText(ids::kPortList), "USB");
  EXPECT_EQ(view.SelectedText(ids::kBaudrateList), "9600");
  EXPECT_EQ(view.SelectedText(ids::kRealtimeList), "YES");
  EXPECT_EQ(view.SelectedText(ids::kPopupList), "NO");
  EXPECT_EQ(view.SelectedText(ids::kLogFileList), "NO");
  EXPECT_EQ(view.SelectedText(ids::kReprintList), "YES");
  EXPECT_EQ(view.texts[ids::kTimeoutEdit], "1000");
  EXPECT_EQ(view.texts[ids::kResultTimeoutEdit], "10000");
  EXPECT_FALSE(view.enabled[ids::kBaudrateList]) << "USB has no baud rate";
  EXPECT_FALSE(view.enabled[ids::kIpAddress]);
  EXPECT_FALSE(SaveEnabled());
  EXPECT_TRUE(view.enabled[ids::kCancel]);
  EXPECT_TRUE(view.topmost);
  EXPECT_EQ(texts, kDefaults) << "the edits' own change notices changed the texts";
}

TEST_F(SettingsDialogTest, ShownAgainOnlySaveIsPossible) {
  Open(kDefaults, 0);
  EXPECT_TRUE(SaveEnabled());
  EXPECT_FALSE(view.enabled[ids::kCancel]);
}

TEST_F(SettingsDialogTest, EnglishTextsWithCodePage1252KoreanTemplateWith949) {
  Open(kDefaults);
  EXPECT_EQ(view.caption, "KELVO Printer settings dialog");
  const std::map<int, std::string> english = {
      {ids::kRealtimeLabel, "Real-time status check"},
      {ids::kPopupLabel, "Message popup in errors"},
      {ids::kLogFileLabel, "Save log"},
      {ids::kTimeoutLabel, "Data receive timeout"},
      {ids::kReprintLabel, "Reprint or not"},
      {ids::kResultTimeoutLabel, "Timeout the print result"},
      {ids::kSave, "Save"},
      {ids::kCancel, "Cancel"},
      {ids::kInterfaceGroup, "Printer's interface setting"},
      {ids::kPortLabel, "Printer Connect Port : "},
      {ids::kIpLabel, "Printer IP : "},
      {ids::kMethodLabel, "Printer's connection method"}};
  for (const auto& [control, text] : english) EXPECT_EQ(view.texts[control], text) << control;

  FakeSettingsView korean;
  fake.system.codePage = 949;
  app::SettingsTexts shown = kDefaults;
  ui::SettingsDialog(fake.platform, prompt, korean, shown, 1).OnInitDialog();
  EXPECT_EQ(korean.caption, "");
  EXPECT_EQ(korean.texts.count(ids::kSave), 0u);
}

TEST_F(SettingsDialogTest, TooltipsAreKoreanInEveryCodePage) {
  Open(kDefaults);
  const std::map<int, std::string> tips = {
      {ids::kPortList, "연결할 프린터 포트를 선택합니다."},
      {ids::kBaudrateList, "시리얼인 경우 Baudrate을 선택합니다."},
      {ids::kRealtimeList, "실시간 프린터 상태 확인 기능을 선택합니다."},
      {ids::kPopupList, "장애 발생 시 장애 팝업 사용 유무를 설정합니다."},
      {ids::kLogFileList, "로그 저장 유무를 설정합니다."},
      {ids::kTimeoutEdit, "수신 데이터를 구분하기 위한 시간을 설정합니다."},
      {ids::kReprintList, "장애 발생 시 재인쇄 유무를 설정합니다."},
      {ids::kResultTimeoutEdit, "데이터 전송 후 인쇄 결과 수신 시간을 설정합니다."}};
  EXPECT_EQ(view.tips, tips);
}

struct ChangeCase {
  const char* name;
  std::function<void(SettingsDialogTest&)> act;
  bool saveEnabled;
};

class ChangeDetection : public SettingsDialogTest,
                        public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeDetection, SaveFollowsTheDifferenceFromTheStart) {
  Open({"TCP/IP", "1000", "9600", "YES", "NO", "NO", "10.0.0.9", "YES", "10000"});
  GetParam().act(*this);
  EXPECT_EQ(SaveEnabled(), GetParam().saveEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeDetection,
    ::testing::Values(
        ChangeCase{"Nothing", [](SettingsDialogTest&) {}, false},
        ChangeCase{"PopupYes", [](SettingsDialogTest& t) { t.Choose(ids::kPopupList, "YES"); },
                   true},
        ChangeCase{"PopupAndBack",
                   [](SettingsDialogTest& t) {
                     t.Choose(ids::kPopupList, "YES");
                     t.Choose(ids::kPopupList, "NO");
                   },
                   false},
        ChangeCase{"LogYes", [](SettingsDialogTest& t) { t.Choose(ids::kLogFileList, "YES"); },
                   true},
        ChangeCase{"Baudrate", [](SettingsDialogTest& t) { t.Choose(ids::kBaudrateList, "19200"); },
                   true},
        ChangeCase{"Port", [](SettingsDialogTest& t) { t.Choose(ids::kPortList, "USB"); }, true},
        ChangeCase{"TimeoutLetters",
                   [](SettingsDialogTest& t) { t.Type(ids::kTimeoutEdit, "abc"); }, true},
        ChangeCase{"TimeoutSameNumber",
                   [](SettingsDialogTest& t) { t.Type(ids::kTimeoutEdit, "1000"); }, false},
        ChangeCase{"TimeoutLeadingZero",
                   [](SettingsDialogTest& t) { t.Type(ids::kTimeoutEdit, "01000"); }, false},
        ChangeCase{"ResultTimeout",
                   [](SettingsDialogTest& t) { t.Type(ids::kResultTimeoutEdit, "-5"); }, true},
        ChangeCase{"IpAddress",
                   [](SettingsDialogTest& t) {
                     t.view.address = {10, 0, 0, 10};
                     t.dialog->OnValueChanged();
                   },
                   true},
        ChangeCase{"IpAddressHalfTyped",
                   [](SettingsDialogTest& t) {
                     t.view.address = {10, 0, 0, 10};
                     t.view.addressFull = false;
                     t.dialog->OnValueChanged();
                   },
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsDialogTest, PortChoiceEnablesTheBaudRateOrTheAddress) {
  Open(kDefaults);
  Choose(ids::kPortList, "TCP/IP");
  EXPECT_FALSE(view.enabled[ids::kBaudrateList]);
  EXPECT_TRUE(view.enabled[ids::kIpAddress]);
  Choose(ids::kPortList, "COM1");
  EXPECT_TRUE(view.enabled[ids::kBaudrateList]);
  EXPECT_FALSE(view.enabled[ids::kIpAddress]);
  Choose(ids::kPortList, "USB");
  EXPECT_FALSE(view.enabled[ids::kBaudrateList]);
  EXPECT_TRUE(prompt.shown().empty());
}

// A port an installed printer driver already uses: the warning (Korean in
// every code page, not logged) and the first choice back.
TEST_F(SettingsDialogTest, PortOfAPrinterDriverIsWarnedAboutAndUndone) {
  fake.portEnumerator.printers = {{"Receipt Printer", "COM3:"}, {"Label", "LPT2:"}};
  Open(kDefaults);
  Choose(ids::kPortList, "COM1");
  EXPECT_TRUE(prompt.shown().empty());
  Choose(ids::kPortList, "COM3");
  ASSERT_EQ(prompt.shown().size(), 1u);
  EXPECT_EQ(prompt.shown()[0].kind, core::kStatusError);
  EXPECT_EQ(prompt.shown()[0].text,
            "프린터 드라이버 Receipt Printer의 포트(COM3:)를 다른 포트로 변경해야 합니다.\n"
            "포트를 변경해야 정상적인 인쇄가 가능합니다.");
  EXPECT_EQ(view.SelectedText(ids::kPortList), "USB");
  EXPECT_FALSE(view.enabled[ids::kBaudrateList]);
  EXPECT_FALSE(SaveEnabled());
}

TEST_F(SettingsDialogTest, OnlyComAndLptPortsAreLookedUp) {
  fake.portEnumerator.printersError = 5;  // would show the enumeration's message box
  Open(kDefaults);
  Choose(ids::kPortList, "TCP/IP");
  EXPECT_TRUE(fake.system.messageBoxes().empty());
  Choose(ids::kPortList, "LPT1");
  EXPECT_EQ(fake.system.messageBoxes(), Names{"EnumPrinters() Error|EnumPrinters() failed"});
}

TEST_F(SettingsDialogTest, SaveTakesEveryControl) {
  Open({"TCP/IP", "1000", "9600", "YES", "NO", "NO", "10.0.0.9", "YES", "10000"});
  Choose(ids::kPopupList, "YES");
  Choose(ids::kLogFileList, "YES");
  Type(ids::kTimeoutEdit, "12345678901234567890");
  Type(ids::kResultTimeoutEdit, "abc");
  view.address = {192, 168, 0, 40};
  dialog->OnSave();
  EXPECT_EQ(view.closed, 1);
  EXPECT_EQ(texts, (app::SettingsTexts{"TCP/IP", "12345678901234567890", "9600", "YES", "YES",
                                       "YES", "192.168.0.40", "YES", "abc"}));
}

// What the dialog cannot show it keeps: a printer name as the port, the
// spooler's baud rate 1, lower-case flags, an address it cannot hold.
TEST_F(SettingsDialogTest, SaveKeepsValuesTheListsDidNotOffer) {
  const app::SettingsTexts odd{"Receipt80", "1000",          "1",   "yes",  "NO",
                               "NO",        "printer.local", "YES", "10000"};
  Open(odd);
  EXPECT_EQ(view.SelectedText(ids::kPortList), "Receipt80");
  EXPECT_EQ(view.SelectedText(ids::kBaudrateList), "1");
  EXPECT_EQ(view.SelectedText(ids::kRealtimeList), "yes");
  EXPECT_FALSE(view.addressFull);
  dialog->OnSave();
  EXPECT_EQ(texts, odd);
}

TEST_F(SettingsDialogTest, SaveNeverEmptiesASetting) {
  const app::SettingsTexts sparse{"", "", "", "", "", "", "", "", ""};
  Open(sparse);
  EXPECT_EQ(view.SelectedIndex(ids::kPortList), -1);
  dialog->OnSave();
  EXPECT_EQ(texts, sparse);
}

TEST_F(SettingsDialogTest, UntouchedAddressKeepsItsText) {
  Open({"TCP/IP", "1000", "9600", "YES", "NO", "NO", "010.000.000.009", "YES", "10000"});
  EXPECT_EQ(view.address, (ui::IpFields{10, 0, 0, 9}));
  dialog->OnSave();
  EXPECT_EQ(texts.ip, "010.000.000.009");
}

TEST_F(SettingsDialogTest, CancelEndsWithTwo) {
  Open(kDefaults);
  dialog->OnCancel();
  EXPECT_EQ(view.closed, 2);
}

TEST(IpAddressText, ParsesDottedQuadsOnly) {
  ui::IpFields f{};
  EXPECT_TRUE(ui::ParseIpAddress("127.0.0.1", f));
  EXPECT_EQ(f, (ui::IpFields{127, 0, 0, 1}));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.x", "1..2.3", "1.2.3.4 ",
                          "1234.1.1.1", "-1.2.3.4"})
    EXPECT_FALSE(ui::ParseIpAddress(bad, f)) << bad;
}

}  // namespace
