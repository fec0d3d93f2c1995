// SettingsDialog: the presenter of the settings dialog (template 134). It
// fills the lists, keeps the state the change detection compares with, warns
// about a printer driver on a chosen port, and on Save takes the controls'
// values into the nine setting texts. It talks to its window through
// SettingsView; the Win32 dialog maps that to controls (ui/win32), tests use a
// recording view. UI thread only.
#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/settings_form.h"
#include "core/prompt.h"
#include "platform/platform.h"
#include "provisioning/port_enumeration.h"

namespace ui {

namespace settings_controls {
inline constexpr int kSave = 1;  // IDOK
inline constexpr int kCancel = 2;
inline constexpr int kPortList = 1008;
inline constexpr int kTimeoutEdit = 1009;
inline constexpr int kBaudrateList = 1010;
inline constexpr int kRealtimeList = 1011;
inline constexpr int kPopupList = 1012;
inline constexpr int kLogFileList = 1013;
inline constexpr int kMethodList = 1014;
inline constexpr int kIpAddress = 1015;
inline constexpr int kResultTimeoutEdit = 1016;
inline constexpr int kReprintList = 1017;
inline constexpr int kMethodLabel = 1027;
inline constexpr int kPortLabel = 1028;
inline constexpr int kRealtimeLabel = 1029;
inline constexpr int kPopupLabel = 1030;
inline constexpr int kLogFileLabel = 1031;
inline constexpr int kTimeoutLabel = 1032;
inline constexpr int kReprintLabel = 1033;
inline constexpr int kResultTimeoutLabel = 1034;
inline constexpr int kInterfaceGroup = 1038;
inline constexpr int kIpLabel = 1039;
}  // namespace settings_controls

// The four fields of the IP address control.
using IpFields = std::array<int, 4>;

// Dotted IPv4 text into fields; false for anything else.
bool ParseIpAddress(const std::string& text, IpFields& fields);

class SettingsView {
 public:
  virtual ~SettingsView() = default;
  // Texts are in the ANSI code page, except the tool tips (UTF-8: they are
  // Korean whatever the code page).
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetText(int control, const std::string& text) = 0;
  virtual std::string Text(int control) = 0;
  // Drop-down lists: entries appended unsorted; -1 / "" when none is selected.
  virtual void AddEntry(int control, const std::string& text) = 0;
  virtual void Select(int control, int index) = 0;
  virtual int SelectedIndex(int control) = 0;
  virtual std::string SelectedText(int control) = 0;
  virtual void Enable(int control, bool enabled) = 0;
  // The IP address control: all four fields, or blank.
  virtual void SetAddress(const IpFields& fields) = 0;
  virtual void ClearAddress() = 0;
  // False when a field is blank.
  virtual bool Address(IpFields& fields) = 0;
  virtual void AddTooltip(int control, const std::string& utf8) = 0;
  virtual void MakeTopmost() = 0;
  // Ends the dialog with 1 (Save) or 2 (Cancel).
  virtual void Close(int result) = 0;
};

class SettingsDialog {
 public:
  // `texts` are shown, and on Save replaced by the dialog's values.
  SettingsDialog(platform::Platform& platform, core::Prompt& prompt, SettingsView& view,
                 app::SettingsTexts& texts, int firstShowing);

  void OnInitDialog();
  // Selection change of the port list.
  void OnPortChanged();
  // A change of any other list, of a time-out edit or of the IP address.
  void OnValueChanged();
  void OnSave();
  void OnCancel();

  unsigned codePage() const { return codePage_; }
  const provisioning::SystemPortTable& portTable() const { return portTable_; }

 private:
  struct Snapshot {
    int port = -1, baudrate = -1, realtime = -1, popup = -1, logFile = -1, reprint = -1;
    int timeout = 0, resultTimeout = 0;
    bool ipFull = false;
    IpFields ip{};
    bool operator==(const Snapshot&) const = default;
  };

  void SetEnglishTexts();
  void AddEntry(int control, const std::string& text);
  void FillLists();
  void FillPortList();
  // Selects the entry equal to the text; a text the list lacks is added, so
  // that what is shown is what Save keeps. -1 when the text is empty.
  int SelectValue(int control, const std::string& text);
  void EnableForPort(int index, const std::string& port);
  Snapshot TakeSnapshot();
  void DetectChange();
  void CreateTooltips();
  std::string Say(const char* utf8);

  platform::Platform& platform_;
  core::Prompt& prompt_;
  SettingsView& view_;
  app::SettingsTexts& texts_;
  int firstShowing_;
  bool initialised_ = false;  // the controls' own change notices during set-up are not changes
  unsigned codePage_ = 0;
  Snapshot initial_;
  std::string ipText_;  // the IP address control as "%d.%d.%d.%d" on Save
  provisioning::PrinterOnPort printerOnPort_;
  provisioning::SystemPortTable portTable_;
  std::map<int, std::vector<std::string>> entries_;  // each list's entries, in order
};

}  // namespace ui
