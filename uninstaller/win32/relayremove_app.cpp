// relayremove.exe: the uninstaller dialog (template 102) over
// UninstallerDialog, and its information dialog (100).
#include <windows.h>

#include <commctrl.h>

#include "platform/platform.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/painting.h"
#include "uninstaller/uninstaller_dialog.h"
#include "uninstaller/uninstaller_texts.h"
#include "uninstaller/win32/resource.h"

namespace {

constexpr UINT kAboutCommand = 16;
constexpr COLORREF kServiceBoxColour = RGB(217, 237, 235);
constexpr COLORREF kDriverBoxColour = RGB(255, 255, 235);

INT_PTR CALLBACK InfoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ui::win32::MakeTopmost(dialog);
      platform::System& system = *reinterpret_cast<platform::System*>(lParam);
      const unsigned codePage = system.AnsiCodePage();
      if (codePage != core::kKoreanCodePage) {
        using namespace uninstaller::texts;
        SetWindowTextA(dialog, core::Pick(system, codePage, kInfoCaption).c_str());
        SetDlgItemTextA(dialog, IDC_NOTICE, core::Pick(system, codePage, kInfoVersion).c_str());
        SetDlgItemTextA(dialog, IDOK, core::Pick(system, codePage, kInfoOk).c_str());
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

class UninstallerWindow : public uninstaller::UninstallerView {
 public:
  UninstallerWindow(HINSTANCE instance, platform::Platform& platform)
      : instance_(instance), platform_(platform), dialog_(platform, *this) {}
  ~UninstallerWindow() override {
    if (serviceBrush_) DeleteObject(serviceBrush_);
    if (driverBrush_) DeleteObject(driverBrush_);
  }

  void SetCaption(const std::string& text) override { SetWindowTextA(window_, text.c_str()); }
  void SetControlText(int control, const std::string& text) override {
    SetDlgItemTextA(window_, control, text.c_str());
  }
  bool IsChecked(int control) override {
    return IsDlgButtonChecked(window_, control) == BST_CHECKED;
  }
  void SetChecked(int control, bool checked) override {
    CheckDlgButton(window_, control, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  void EnableControl(int control, bool enabled) override {
    EnableWindow(GetDlgItem(window_, control), enabled ? TRUE : FALSE);
  }
  void PostClose() override { PostMessageA(window_, WM_CLOSE, 0, 0); }

  void OnInit(HWND window) {
    window_ = window;
    char about[128] = {};
    LoadStringA(instance_, IDS_ABOUTBOX, about, sizeof about);
    if (about[0]) {
      HMENU menu = GetSystemMenu(window_, FALSE);
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kAboutCommand, about);
    }
    icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    ui::win32::CentreOnScreen(window_);
    const HFONT font = ui::win32::DialogFont(window_);
    ui::win32::SetUpImageButton(window_, delete_, {IDC_DELETE, IDI_DELETE}, font);
    ui::win32::SetUpImageButton(window_, exit_, {IDOK, IDI_EXIT}, font);
    serviceBrush_ = CreateSolidBrush(kServiceBoxColour);
    driverBrush_ = CreateSolidBrush(kDriverBoxColour);
    dialog_.OnInitDialog();
  }

  uninstaller::UninstallerDialog& dialog() { return dialog_; }

  void ShowInformation() {
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_UNINSTALL_INFO), window_, InfoProc,
                    reinterpret_cast<LPARAM>(platform_.system));
  }

  // The main window's column gradient, drawn off-screen and copied in one
  // block so that it never flickers.
  void Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    if (IsIconic(window_)) {
      RECT client;
      GetClientRect(window_, &client);
      SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
      DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
               (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
    } else {
      ui::win32::PaintBands(window_, dc, ui::win32::Bands::kColumns, ui::MainWindowColumn);
    }
    EndPaint(window_, &paint);
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

 private:
  HINSTANCE instance_;
  platform::Platform& platform_;
  uninstaller::UninstallerDialog dialog_;
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  HBRUSH serviceBrush_ = nullptr;
  HBRUSH driverBrush_ = nullptr;
  widgets::ImageButton delete_;
  widgets::ImageButton exit_;
};

INT_PTR CALLBACK UninstallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<UninstallerWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      reinterpret_cast<UninstallerWindow*>(lParam)->OnInit(window);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kAboutCommand || !self) return FALSE;
      self->ShowInformation();
      return TRUE;
    case WM_ERASEBKGND:
      // WM_PAINT covers the whole client area.
      SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_PAINT:
      if (!self) return FALSE;
      self->Paint();
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (!self) return FALSE;
      return reinterpret_cast<INT_PTR>(
          self->ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_COMMAND:
      if (!self || HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_DELETE:
          self->dialog().OnDeleteClicked();
          return TRUE;
        case IDC_SERVICE_BOX:
        case IDC_DRIVER_BOX:
          self->dialog().OnCheckBoxClicked();
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(window, LOWORD(wParam));
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  UninstallerWindow uninstaller(instance, platform::Native());
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNINSTALL), nullptr, UninstallProc,
                  reinterpret_cast<LPARAM>(&uninstaller));
  return 0;
}
