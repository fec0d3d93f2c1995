// What the main window's buttons and tray commands can ask of the service.
// The Win32 window routes its messages here; the headless build and the tests
// call the same operations. All calls come from the UI thread, and each one
// returns when its work is done (some block for seconds).
#pragma once

namespace app {

class ServiceCommands {
 public:
  virtual ~ServiceCommands() = default;

  // Button 1000: hides the window to the tray, then installs the virtual pair.
  virtual void AddPort() = 0;
  // Button 1007: installs the virtual pair.
  virtual void InstallPair() = 0;
  // Button 1020: runs com0com's setupc commands.
  virtual void RunSetupc() = 0;
  // Button 1006: the settings dialog.
  virtual void EditSettings() = 0;
  // Button 1001: prints the test page through the application's port.
  virtual void PortCheckPrint() = 0;
  // Button 1022: prints the stored banner through the selected application port.
  virtual void DeveloperImagePrint() = 0;
};

}  // namespace app
