// What relaytray's and relayremove's main dialogs share: WinMain's steps, the
// "About" entry of the system menu and the information dialog it opens, the
// program's icon (drawn in the middle when minimised), and the end by OK,
// Cancel or the close box. Each program adds its own set-up, buttons and
// painting.
#pragma once

#include <windows.h>

#include "core/texts.h"
#include "platform/platform.h"

namespace ui::win32 {

class ProgramDialog {
 public:
  // Resource identifiers; the two programs number them alike.
  struct Resources {
    int dialog;       // the main dialog's template
    int info;         // the information dialog's template
    int infoText;     // its version text control
    int aboutString;  // the system menu entry's text (empty: no entry)
    int icon;         // the program's icon
  };
  // The information dialog's English texts (the templates carry the Korean).
  struct InfoTexts {
    const core::Text& caption;
    const core::Text& version;
    const core::Text& ok;
  };

  ProgramDialog(HINSTANCE instance, platform::Platform& platform, Resources resources,
                InfoTexts info);
  virtual ~ProgramDialog() = default;
  ProgramDialog(const ProgramDialog&) = delete;
  ProgramDialog& operator=(const ProgramDialog&) = delete;

  // WinMain's steps: the common controls, then the dialog until it ends.
  int Run();

 protected:
  // The program's own part of WM_INITDIALOG, after the menu entry and icon.
  virtual void OnInit() = 0;
  // A click on one of its buttons other than OK and Cancel; true when handled.
  virtual bool OnClicked(int control) = 0;
  // Messages the program answers itself (painting, colours): sets *handled.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled);

  HWND window() const { return window_; }
  HINSTANCE instance() const { return instance_; }
  platform::Platform& platform() { return platform_; }
  // The program's icon in the middle of the client area of a minimised dialog.
  void DrawMinimisedIcon(HDC dc);

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void SetUpMenuAndIcon();
  void ShowInformation();

  HINSTANCE instance_;
  platform::Platform& platform_;
  const Resources resources_;
  const InfoTexts info_;
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
};

}  // namespace ui::win32
