// UninstallerDialog: relayremove's main window as a presenter. The Delete
// button runs the selected removals in a fixed order and closes the program:
//
//  A (print service, always selected)
//    1. release the application ports of the com0com pairs (reset to a plain
//       9600 8N1 line),
//    2. find the running relay and 3. end it with exit code 1: asked first,
//       then ended by force when it has not gone within a bound,
//    4. run the relay's uninstall entry,
//    5. delete the autostart value, whatever it names,
//    6. delete Settings.ini and PortLists.ini beside this program (read-only
//       ones too) and the job journal's folder Journal/ with its day-files;
//  B (virtual COM driver, selectable) run com0com's uninstall entry.
//
// No step stops the removal; what went wrong goes to the debug traces. The
// view is the Win32 dialog or, on Linux, nothing at all. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace uninstaller {

// Control ids of the uninstaller's windows (the dialog templates use the same).
inline constexpr int kDeleteButton = 1000;
inline constexpr int kExitButton = 1;
inline constexpr int kServiceBox = 1001;
inline constexpr int kDriverBox = 1002;
inline constexpr int kNoticeText = 1003;

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "portrelay";
inline constexpr const char* kServiceLockName = "KelvoSvr";
inline constexpr const char* kServiceProgram = "portrelay";
inline constexpr const char* kSettingsFile = "Settings.ini";
inline constexpr const char* kPortListsFile = "PortLists.ini";
inline constexpr const char* kJournalFolder = "Journal";
inline constexpr int kApplicationPortSlots = 255;
inline constexpr uint32_t kServiceExitCode = 1;
// A relay asked to end gets this long; one that is still there is ended by
// force and waited for once more.
inline constexpr uint32_t kExitWaitMs = 10000;
inline constexpr uint32_t kTerminateWaitMs = 5000;

class UninstallerView {
 public:
  virtual ~UninstallerView() = default;
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetControlText(int control, const std::string& text) = 0;
  virtual bool IsChecked(int control) = 0;
  virtual void SetChecked(int control, bool checked) = 0;
  virtual void EnableControl(int control, bool enabled) = 0;
  // Posts the close message to the main window.
  virtual void PostClose() = 0;
};

class UninstallerDialog {
 public:
  UninstallerDialog(platform::Platform& platform, UninstallerView& view);

  // The English texts when the code page is not 949, the application-port
  // table, both boxes ticked.
  void OnInitDialog();
  // Either check box: the Delete button is enabled exactly when one is ticked.
  void OnCheckBoxClicked();
  // The Delete button: the selected removals, once, then the close.
  void OnDeleteClicked();

  // The steps, in the order the Delete button takes them.
  void FillApplicationPorts();
  void ReleaseApplicationPorts();
  void StopService();
  void RunServiceUninstall();
  void DeleteAutostartValue();
  void DeleteSettingsFiles();
  void DeleteJournal();
  void RemoveDriver();

  unsigned codePage() const { return codePage_; }
  const std::vector<std::string>& applicationPorts() const { return applicationPorts_; }

 private:
  void Trace(const std::string& utf8);
  std::string ProgramDirectory();
  void DeleteFileBeside(const std::string& name);

  platform::Platform& platform_;
  UninstallerView& view_;
  unsigned codePage_ = 0;
  int architecture_ = 0;
  bool removed_ = false;
  std::vector<std::string> applicationPorts_;
};

}  // namespace uninstaller
