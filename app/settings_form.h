// What EditSettings needs of the settings dialog: show it modally with the
// nine setting texts and hand back what the user saved. The Win32 program
// gives ServiceDialog its dialog (ui/win32/settings_dialog.h); tests give a
// scripted one. UI thread only.
#pragma once

#include <string>

namespace app {

// The nine setting texts, in the dialog's order.
struct SettingsTexts {
  std::string port;
  std::string timeout;
  std::string baudrate;
  std::string realtime;
  std::string popup;
  std::string logFile;
  std::string ip;
  std::string reprint;
  std::string resultTimeout;

  bool operator==(const SettingsTexts&) const = default;
};

class SettingsForm {
 public:
  virtual ~SettingsForm() = default;
  // Shows the dialog with `texts` until Save (1, `texts` then holds the
  // dialog's values) or Cancel (2). `firstShowing` 1: Save starts disabled and
  // Cancel enabled; 0 (shown again after a failed reconnection): Save enabled,
  // Cancel disabled.
  virtual int Show(SettingsTexts& texts, int firstShowing) = 0;
};

}  // namespace app
