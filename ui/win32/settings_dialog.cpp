// The Win32 settings dialog: the SettingsView over template 134's controls,
// the Save and Cancel image buttons, the Korean tool tips (drawn through the
// wide-character API, so they read in Korean whatever the ANSI code page),
// the gradient background and the transparent labels.
#include "ui/win32/settings_dialog.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "ui/gradients.h"
#include "ui/settings_dialog.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/painting.h"
#include "ui/win32/resource.h"
#include "widgets/win32/image_button.h"

namespace ui::win32 {
namespace {

namespace ids = ui::settings_controls;

constexpr int kTipWidth = 300;
constexpr int kTipShownMs = 20000;

std::wstring WideFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

class Win32SettingsView : public ui::SettingsView {
 public:
  explicit Win32SettingsView(HWND dialog) : dialog_(dialog) {}
  ~Win32SettingsView() override {
    if (tooltip_) DestroyWindow(tooltip_);
  }

  void SetCaption(const std::string& text) override { SetWindowTextA(dialog_, text.c_str()); }
  void SetText(int control, const std::string& text) override {
    SetDlgItemTextA(dialog_, control, text.c_str());
  }
  std::string Text(int control) override {
    HWND item = GetDlgItem(dialog_, control);
    const int length = GetWindowTextLengthA(item);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int got = GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
  }
  void AddEntry(int control, const std::string& text) override {
    SendDlgItemMessageA(dialog_, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Select(int control, int index) override {
    SendDlgItemMessageA(dialog_, control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  int SelectedIndex(int control) override {
    return static_cast<int>(SendDlgItemMessageA(dialog_, control, CB_GETCURSEL, 0, 0));
  }
  std::string SelectedText(int control) override {
    const LRESULT index = SendDlgItemMessageA(dialog_, control, CB_GETCURSEL, 0, 0);
    if (index < 0) return {};
    const LRESULT length =
        SendDlgItemMessageA(dialog_, control, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT got =
        SendDlgItemMessageA(dialog_, control, CB_GETLBTEXT, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
  }
  void Enable(int control, bool enabled) override {
    EnableWindow(GetDlgItem(dialog_, control), enabled ? TRUE : FALSE);
  }
  void SetAddress(const IpFields& f) override {
    SendDlgItemMessageA(dialog_, ids::kIpAddress, IPM_SETADDRESS, 0,
                        static_cast<LPARAM>(MAKEIPADDRESS(f[0], f[1], f[2], f[3])));
  }
  void ClearAddress() override {
    SendDlgItemMessageA(dialog_, ids::kIpAddress, IPM_CLEARADDRESS, 0, 0);
  }
  bool Address(IpFields& f) override {
    DWORD address = 0;
    const LRESULT filled = SendDlgItemMessageA(dialog_, ids::kIpAddress, IPM_GETADDRESS, 0,
                                               reinterpret_cast<LPARAM>(&address));
    f = {FIRST_IPADDRESS(address), SECOND_IPADDRESS(address), THIRD_IPADDRESS(address),
         FOURTH_IPADDRESS(address)};
    return filled == 4;
  }
  void AddTooltip(int control, const std::string& utf8) override {
    if (!tooltip_) CreateTooltipControl();
    if (!tooltip_) return;
    std::wstring text = WideFromUtf8(utf8);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = dialog_;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog_, control));
    ti.lpszText = text.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  }
  void MakeTopmost() override { ui::win32::MakeTopmost(dialog_); }
  void Close(int result) override { EndDialog(dialog_, result); }

 private:
  void CreateTooltipControl() {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_) return;
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
    SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, kTipShownMs);
  }

  HWND dialog_;
  HWND tooltip_ = nullptr;
};

struct DialogContext {
  platform::Platform* platform;
  core::Prompt* prompt;
  app::SettingsTexts* texts;
  int firstShowing;
  std::unique_ptr<Win32SettingsView> view;
  std::unique_ptr<ui::SettingsDialog> presenter;
  widgets::ImageButton save;
  widgets::ImageButton cancel;
};

void OnCommand(DialogContext& context, int id, int code) {
  ui::SettingsDialog& presenter = *context.presenter;
  switch (id) {
    case ids::kSave:
      if (code == BN_CLICKED) presenter.OnSave();
      return;
    case ids::kCancel:
      if (code == BN_CLICKED) presenter.OnCancel();
      return;
    case ids::kPortList:
      if (code == CBN_SELCHANGE) presenter.OnPortChanged();
      return;
    case ids::kBaudrateList:
    case ids::kRealtimeList:
    case ids::kPopupList:
    case ids::kLogFileList:
    case ids::kReprintList:
      if (code == CBN_SELCHANGE) presenter.OnValueChanged();
      return;
    case ids::kTimeoutEdit:
    case ids::kResultTimeoutEdit:
    case ids::kIpAddress:
      if (code == EN_CHANGE) presenter.OnValueChanged();
      return;
    default:
      return;
  }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      context = reinterpret_cast<DialogContext*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetUpImageButton(dialog, context->save, {IDOK, IDI_OK}, DialogFont(dialog));
      SetUpImageButton(dialog, context->cancel, {IDCANCEL, IDI_CANCEL}, DialogFont(dialog));
      context->view = std::make_unique<Win32SettingsView>(dialog);
      context->presenter =
          std::make_unique<ui::SettingsDialog>(*context->platform, *context->prompt, *context->view,
                                               *context->texts, context->firstShowing);
      context->presenter->OnInitDialog();
      return TRUE;
    }
    case WM_COMMAND:
      if (context && context->presenter) OnCommand(*context, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      if (context && context->presenter &&
          reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(IPN_FIELDCHANGED))
        context->presenter->OnValueChanged();
      return FALSE;
    case WM_ERASEBKGND:
      PaintBands(dialog, reinterpret_cast<HDC>(wParam), Bands::kRows, ui::SettingsDialogRow);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      // The labels stand directly on the gradient.
      return reinterpret_cast<INT_PTR>(
          StaticOnGradient(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_DESTROY:
      // The tool tip window goes before the dialog does.
      if (context) context->view.reset();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int Win32SettingsForm::Show(app::SettingsTexts& texts, int firstShowing) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_INTERNET_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  DialogContext context{&platform_, &prompt_, &texts, firstShowing, nullptr, nullptr, {}, {}};
  const INT_PTR result =
      DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_SETTINGS_DIALOG), owner_ ? owner_() : nullptr,
                      SettingsDialogProc, reinterpret_cast<LPARAM>(&context));
  return result == IDOK ? 1 : 2;
}

}  // namespace ui::win32
