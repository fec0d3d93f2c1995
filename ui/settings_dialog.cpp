// SettingsDialog, the settings dialog's presenter (see settings_dialog.h).
#include "ui/settings_dialog.h"

#include <cstring>

#include "core/format.h"
#include "core/settings.h"
#include "core/texts.h"
#include "provisioning/pair_discovery.h"

namespace ui {
namespace {

namespace ids = settings_controls;

const char* const kYesNo[] = {"YES", "NO"};
const char* const kBaudRates[] = {"9600", "19200", "38400", "57600", "115200"};

}  // namespace

bool ParseIpAddress(const std::string& text, IpFields& fields) {
  IpFields parsed{};
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
    const std::size_t start = at;
    int value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3)
      value = value * 10 + (text[at++] - '0');
    if (at == start || value > 255) return false;
    parsed[static_cast<std::size_t>(i)] = value;
  }
  if (at != text.size()) return false;
  fields = parsed;
  return true;
}

SettingsDialog::SettingsDialog(platform::Platform& platform, core::Prompt& prompt,
                               SettingsView& view, app::SettingsTexts& texts, int firstShowing)
    : platform_(platform),
      prompt_(prompt),
      view_(view),
      texts_(texts),
      firstShowing_(firstShowing) {}

std::string SettingsDialog::Say(const char* utf8) { return platform_.system->FromUtf8(utf8); }

void SettingsDialog::OnInitDialog() {
  codePage_ = platform_.system->AnsiCodePage();
  if (codePage_ != core::kKoreanCodePage) SetEnglishTexts();
  FillLists();

  const int port = SelectValue(ids::kPortList, texts_.port);
  EnableForPort(port, texts_.port);
  SelectValue(ids::kBaudrateList, texts_.baudrate);
  SelectValue(ids::kRealtimeList, texts_.realtime);
  SelectValue(ids::kPopupList, texts_.popup);
  SelectValue(ids::kLogFileList, texts_.logFile);
  SelectValue(ids::kReprintList, texts_.reprint);

  view_.SetText(ids::kTimeoutEdit, texts_.timeout);
  view_.SetText(ids::kResultTimeoutEdit, texts_.resultTimeout);
  IpFields ip{};
  if (ParseIpAddress(texts_.ip, ip))
    view_.SetAddress(ip);
  else
    view_.ClearAddress();
  initial_ = TakeSnapshot();

  // Shown again after a failed reconnection: the previous values can only be
  // saved, not dismissed.
  view_.Enable(ids::kSave, firstShowing_ == 0);
  view_.Enable(ids::kCancel, firstShowing_ != 0);
  CreateTooltips();
  view_.MakeTopmost();
  initialised_ = true;
}

void SettingsDialog::SetEnglishTexts() {
  using namespace core::texts;
  auto english = [&](int control, const core::Text& text) {
    view_.SetText(control, core::Pick(*platform_.system, codePage_, text));
  };
  view_.SetCaption(core::Pick(*platform_.system, codePage_, kSettingsCaption));
  english(ids::kRealtimeLabel, kSettingsRealtimeLabel);
  english(ids::kPopupLabel, kSettingsPopupLabel);
  english(ids::kLogFileLabel, kSettingsLogLabel);
  english(ids::kTimeoutLabel, kSettingsTimeoutLabel);
  english(ids::kReprintLabel, kSettingsReprintLabel);
  english(ids::kResultTimeoutLabel, kSettingsResultLabel);
  english(ids::kSave, kSettingsSave);
  english(ids::kCancel, kButtonCancel);
  english(ids::kInterfaceGroup, kSettingsInterfaceGroup);
  english(ids::kPortLabel, kSettingsPortLabel);
  english(ids::kIpLabel, kSettingsIpLabel);
  english(ids::kMethodLabel, kSettingsMethodLabel);
}

void SettingsDialog::AddEntry(int control, const std::string& text) {
  entries_[control].push_back(text);
  view_.AddEntry(control, text);
}

void SettingsDialog::FillLists() {
  // The connection method is shown only; its choice is never read.
  AddEntry(ids::kMethodList, "Direct");
  AddEntry(ids::kMethodList, "Driver");
  view_.Select(ids::kMethodList, 0);
  FillPortList();
  for (const char* rate : kBaudRates) AddEntry(ids::kBaudrateList, rate);
  for (int control : {ids::kRealtimeList, ids::kPopupList, ids::kLogFileList, ids::kReprintList})
    for (const char* value : kYesNo) AddEntry(control, value);
}

// The ports a printer can be on, as the main window offers them: "USB", the
// system's COM ports without the virtual pair's, the LPT ports, "TCP/IP".
void SettingsDialog::FillPortList() {
  AddEntry(ids::kPortList, "USB");
  portTable_.Clear();
  provisioning::EnumerateComPorts(*platform_.portEnumerator, portTable_);
  provisioning::ExcludePairPorts(*platform_.registry, portTable_);
  for (int i = 0; i < portTable_.count && i < provisioning::SystemPortTable::kEntries; ++i) {
    const char* name = portTable_.names[static_cast<std::size_t>(i)].data();
    if (std::strlen(name) > 1) AddEntry(ids::kPortList, name);
  }
  for (const std::string& name : provisioning::LptPortNames(*platform_.portEnumerator))
    AddEntry(ids::kPortList, name);
  AddEntry(ids::kPortList, "TCP/IP");
}

int SettingsDialog::SelectValue(int control, const std::string& text) {
  if (text.empty()) {
    view_.Select(control, -1);
    return -1;
  }
  std::vector<std::string>& entries = entries_[control];
  int index = -1;
  for (std::size_t i = 0; i < entries.size() && index < 0; ++i)
    if (entries[i] == text) index = static_cast<int>(i);
  if (index < 0) {
    AddEntry(control, text);
    index = static_cast<int>(entries.size()) - 1;
  }
  view_.Select(control, index);
  return index;
}

void SettingsDialog::EnableForPort(int index, const std::string& port) {
  if (index == 0) view_.Enable(ids::kBaudrateList, false);
  if (port == "TCP/IP") {
    view_.Enable(ids::kBaudrateList, false);
    view_.Enable(ids::kIpAddress, true);
  } else {
    view_.Enable(ids::kIpAddress, false);
  }
}

SettingsDialog::Snapshot SettingsDialog::TakeSnapshot() {
  Snapshot s;
  s.port = view_.SelectedIndex(ids::kPortList);
  s.baudrate = view_.SelectedIndex(ids::kBaudrateList);
  s.realtime = view_.SelectedIndex(ids::kRealtimeList);
  s.popup = view_.SelectedIndex(ids::kPopupList);
  s.logFile = view_.SelectedIndex(ids::kLogFileList);
  s.reprint = view_.SelectedIndex(ids::kReprintList);
  texts_.timeout = view_.Text(ids::kTimeoutEdit);
  texts_.resultTimeout = view_.Text(ids::kResultTimeoutEdit);
  s.timeout = core::ToInt(texts_.timeout);
  s.resultTimeout = core::ToInt(texts_.resultTimeout);
  s.ipFull = view_.Address(s.ip);
  if (!s.ipFull) s.ip = IpFields{};
  return s;
}

// The time-outs count by their numbers, so "1000" typed over "1000" or over
// "01000" is no change. The IP address counts once all four fields are set.
void SettingsDialog::DetectChange() {
  Snapshot now = TakeSnapshot();
  if (!now.ipFull) {
    now.ipFull = initial_.ipFull;
    now.ip = initial_.ip;
  }
  view_.Enable(ids::kSave, !(now == initial_));
}

void SettingsDialog::OnValueChanged() {
  if (initialised_) DetectChange();
}

void SettingsDialog::OnPortChanged() {
  if (!initialised_) return;
  const int index = view_.SelectedIndex(ids::kPortList);
  if (index != 0) view_.Enable(ids::kBaudrateList, true);
  const std::string port = view_.SelectedText(ids::kPortList);
  EnableForPort(index, port);
  DetectChange();

  if (port.compare(0, 3, "COM") != 0 && port.compare(0, 3, "LPT") != 0) return;
  if (!provisioning::FindPrinterOnPort(platform_, port, printerOnPort_)) return;
  const std::string warning =
      core::FormatText(Say(core::texts::kPrinterDriverOnPort).c_str(),
                       printerOnPort_.printer.c_str(), printerOnPort_.port.c_str());
  prompt_.Show(warning, core::kStatusError, nullptr);
  view_.Select(ids::kPortList, initial_.port);
  if (initial_.port != 0) view_.Enable(ids::kBaudrateList, true);
  EnableForPort(initial_.port, view_.SelectedText(ids::kPortList));
  DetectChange();
}

void SettingsDialog::OnSave() {
  // A list without a selection keeps its setting: no setting is ever saved
  // empty because the dialog had nothing to show for it.
  auto take = [&](int control, std::string& text) {
    const std::string selected = view_.SelectedText(control);
    if (!selected.empty()) text = selected;
  };
  take(ids::kPortList, texts_.port);
  take(ids::kBaudrateList, texts_.baudrate);
  take(ids::kRealtimeList, texts_.realtime);
  take(ids::kPopupList, texts_.popup);
  take(ids::kLogFileList, texts_.logFile);
  take(ids::kReprintList, texts_.reprint);
  texts_.timeout = view_.Text(ids::kTimeoutEdit);
  texts_.resultTimeout = view_.Text(ids::kResultTimeoutEdit);
  // The control edits the IP setting; a blank or untouched address keeps it.
  IpFields ip{};
  if (view_.Address(ip) && !(initial_.ipFull && ip == initial_.ip)) {
    ipText_ = core::Format("%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
    texts_.ip = ipText_;
  }
  view_.Close(1);
}

void SettingsDialog::OnCancel() { view_.Close(2); }

void SettingsDialog::CreateTooltips() {
  using namespace core::texts;
  const std::pair<int, const char*> tips[] = {
      {ids::kPortList, kTipPort},         {ids::kBaudrateList, kTipBaudrate},
      {ids::kRealtimeList, kTipRealtime}, {ids::kPopupList, kTipPopup},
      {ids::kLogFileList, kTipLogFile},   {ids::kTimeoutEdit, kTipTimeout},
      {ids::kReprintList, kTipReprint},   {ids::kResultTimeoutEdit, kTipResultTimeout},
  };
  for (const auto& [control, text] : tips) view_.AddTooltip(control, text);
}

}  // namespace ui
