// LauncherDialog: relaytray's main window as a presenter. It forms the path
// of portrelay beside the launcher, starts it through the shell (asking for
// elevation where the user is not an administrator yet), and reports every
// failed start, with its reason in the code page's language, in the launcher
// status dialog. After a successful start the launcher closes itself.
//
// The view is the Win32 dialog or, on Linux, a console report. UI thread only.
#pragma once

#include <mutex>
#include <string>

#include "core/texts.h"
#include "platform/platform.h"

namespace launcher {

// Control ids of the launcher's windows (the dialog templates use the same).
inline constexpr int kStartButton = 1000;
inline constexpr int kExitButton = 1;
inline constexpr int kStatusText = 1001;
inline constexpr int kInfoText = 1002;

// The launcher status dialog's kinds.
enum LauncherStatus : int { kLaunchNormal = 0, kLaunchError = 1 };

class LauncherView {
 public:
  virtual ~LauncherView() = default;
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetControlText(int control, const std::string& text) = 0;
  // The launcher status dialog with the caption of `kind` and the message;
  // returns once the user has dismissed it.
  virtual void ShowStatus(int kind, const std::string& message) = 0;
  // Posts the close message to the launcher's main window.
  virtual void PostClose() = 0;
};

class LauncherDialog {
 public:
  LauncherDialog(platform::Platform& platform, LauncherView& view);

  // Initialisation: the English texts when the code page is not 949, the
  // relay's path and the first start; closes the launcher when it succeeds,
  // otherwise shows the reason and stays.
  void OnInitDialog();
  // Button 1000 ("Start service"): another start, reported either way. A
  // click while a start (or its report) is still in progress is ignored.
  void OnStartClicked();

  // Starts portrelay: 0, or the system's error code.
  int LaunchRelay();
  // The launcher's own directory, without the trailing separator.
  std::string ProgramDirectory();
  // The message for a start result in the code page's language; empty for a
  // code the table does not know.
  std::string StartFailureMessage(int code) const;

  unsigned codePage() const { return codePage_; }
  const std::string& relayPath() const { return relayPath_; }
  int lastResult() const { return lastResult_; }

 private:
  std::string Say(const core::Text& text) const;
  void FormRelayPath();

  platform::Platform& platform_;
  LauncherView& view_;
  unsigned codePage_ = 0;
  std::string relayPath_;
  int lastResult_ = 0;
  bool starting_ = false;
  // The module-path buffer is shared; only one reader at a time.
  std::mutex pathLock_;
};

// The status dialog's caption for a kind and code page (UTF-8).
const core::Text& StatusCaption(int kind);

}  // namespace launcher
