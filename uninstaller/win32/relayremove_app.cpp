// relayremove.exe: the uninstaller dialog (template 102) over
// UninstallerDialog; the information dialog (100) and the rest it shares with
// relaytray.exe are ui/win32/program_dialog.h's.
#include <windows.h>

#include "platform/platform.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/painting.h"
#include "ui/win32/program_dialog.h"
#include "uninstaller/uninstaller_dialog.h"
#include "uninstaller/uninstaller_texts.h"
#include "uninstaller/win32/resource.h"

namespace {

constexpr COLORREF kServiceBoxColour = RGB(217, 237, 235);
constexpr COLORREF kDriverBoxColour = RGB(255, 255, 235);

class UninstallerWindow : public ui::win32::ProgramDialog, public uninstaller::UninstallerView {
 public:
  UninstallerWindow(HINSTANCE instance, platform::Platform& platform)
      : ProgramDialog(instance, platform,
                      {IDD_UNINSTALL, IDD_UNINSTALL_INFO, IDC_NOTICE, IDS_ABOUTBOX, IDI_PROGRAM},
                      {uninstaller::texts::kInfoCaption, uninstaller::texts::kInfoVersion,
                       uninstaller::texts::kInfoOk}),
        dialog_(platform, *this) {}
  ~UninstallerWindow() override {
    if (serviceBrush_) DeleteObject(serviceBrush_);
    if (driverBrush_) DeleteObject(driverBrush_);
  }

  void SetCaption(const std::string& text) override { SetWindowTextA(window(), text.c_str()); }
  void SetControlText(int control, const std::string& text) override {
    SetDlgItemTextA(window(), control, text.c_str());
  }
  bool IsChecked(int control) override {
    return IsDlgButtonChecked(window(), control) == BST_CHECKED;
  }
  void SetChecked(int control, bool checked) override {
    CheckDlgButton(window(), control, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  void EnableControl(int control, bool enabled) override {
    EnableWindow(GetDlgItem(window(), control), enabled ? TRUE : FALSE);
  }
  void PostClose() override { PostMessageA(window(), WM_CLOSE, 0, 0); }

 protected:
  void OnInit() override {
    ui::win32::CentreOnScreen(window());
    const HFONT font = ui::win32::DialogFont(window());
    ui::win32::SetUpImageButton(window(), delete_, {IDC_DELETE, IDI_DELETE}, font);
    ui::win32::SetUpImageButton(window(), exit_, {IDOK, IDI_EXIT}, font);
    serviceBrush_ = CreateSolidBrush(kServiceBoxColour);
    driverBrush_ = CreateSolidBrush(kDriverBoxColour);
    dialog_.OnInitDialog();
  }

  bool OnClicked(int control) override {
    switch (control) {
      case IDC_DELETE:
        dialog_.OnDeleteClicked();
        return true;
      case IDC_SERVICE_BOX:
      case IDC_DRIVER_BOX:
        dialog_.OnCheckBoxClicked();
        return true;
      default:
        return false;
    }
  }

  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override {
    *handled = true;
    switch (message) {
      case WM_ERASEBKGND:
        // WM_PAINT covers the whole client area.
        SetWindowLongPtrA(window(), DWLP_MSGRESULT, TRUE);
        return TRUE;
      case WM_PAINT:
        Paint();
        return TRUE;
      case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(
            ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
      default:
        *handled = false;
        return FALSE;
    }
  }

 private:
  // The main window's column gradient, drawn off-screen and copied in one
  // block so that it never flickers.
  void Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window(), &paint);
    if (IsIconic(window()))
      DrawMinimisedIcon(dc);
    else
      ui::win32::PaintBands(window(), dc, ui::win32::Bands::kColumns, ui::MainWindowColumn);
    EndPaint(window(), &paint);
  }

  // Each check box on its own colour; the notice straight on the gradient.
  HBRUSH ControlColour(HDC dc, HWND control) {
    switch (GetDlgCtrlID(control)) {
      case IDC_SERVICE_BOX:
        SetBkMode(dc, TRANSPARENT);
        return serviceBrush_;
      case IDC_DRIVER_BOX:
        SetBkMode(dc, TRANSPARENT);
        return driverBrush_;
      default:
        return ui::win32::StaticOnGradient(dc, control);
    }
  }

  uninstaller::UninstallerDialog dialog_;
  HBRUSH serviceBrush_ = nullptr;
  HBRUSH driverBrush_ = nullptr;
  widgets::ImageButton delete_;
  widgets::ImageButton exit_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  UninstallerWindow uninstaller(instance, platform::Native());
  return uninstaller.Run();
}
