// The Win32 main window: template 102, its controls as the ServiceView, the
// tray icon and the messages that keep the program alive in the tray.
#include "ui/win32/service_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include "core/controls.h"
#include "core/texts.h"
#include "links/link_front.h"
#include "ui/win32/resource.h"
#include "ui/win32/settings_dialog.h"
#include "ui/win32/status_dialog.h"

namespace ui::win32 {
namespace {

constexpr UINT kTrayCallback = WM_APP + 100;
constexpr UINT kAboutCommand = 16;

NOTIFYICONDATAA TrayRecord(HWND window) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = window;
  nid.uID = 0;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kTrayCallback;
  nid.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM));
  GetWindowTextA(window, nid.szTip, sizeof nid.szTip);
  return nid;
}

}  // namespace

void Win32ServiceView::InitControls(unsigned codePage) {
  codePage_ = codePage;
  HINSTANCE instance = GetModuleHandleA(nullptr);

  char about[128] = {};
  LoadStringA(instance, IDS_ABOUTBOX, about, sizeof about);
  if (about[0]) {
    HMENU menu = GetSystemMenu(window_, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kAboutCommand, about);
  }

  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  using namespace core::texts;
  auto say = [&](const core::Text& t) { return core::Pick(system_, codePage, t); };
  if (codePage == core::kKoreanCodePage) {
    SetDlgItemTextA(window_, IDC_CHECK_PORT, say(kCheckPortButton).c_str());
  } else {
    SetWindowTextA(window_, say(kWindowCaption).c_str());
    SetDlgItemTextA(window_, IDC_ADD_PORT, say(kAddPortButton).c_str());
    SetDlgItemTextA(window_, IDC_CHECK_PORT, say(kCheckPortButton).c_str());
    SetDlgItemTextA(window_, IDC_SETTINGS, say(kSettingsButton).c_str());
    SetDlgItemTextA(window_, IDC_CONNECTED_PORT_LABEL, say(kConnectedPortLabel).c_str());
    SetDlgItemTextA(window_, IDC_APP_PORT_LABEL, say(kAppPortLabel).c_str());
  }

  HWND progress = GetDlgItem(window_, IDC_PROGRESS);
  ShowWindow(progress, SW_HIDE);
  SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageA(progress, PBM_SETBARCOLOR, 0, RGB(0, 255, 0));
  SetDlgItemTextA(window_, IDC_PORT_COUNT, "0");

  relayMessage_ = RegisterWindowMessageA("Kelvo_VCOM");

  RECT r;
  GetWindowRect(window_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

bool Win32ServiceView::IsCombo(int control) const {
  char cls[32] = {};
  GetClassNameA(GetDlgItem(window_, control), cls, sizeof cls);
  return lstrcmpiA(cls, "ComboBox") == 0;
}

void Win32ServiceView::SetControlText(int control, const std::string& text) {
  SetDlgItemTextA(window_, control, text.c_str());
}

void Win32ServiceView::AddListEntry(int control, const std::string& text) {
  SendDlgItemMessageA(window_, control, IsCombo(control) ? CB_ADDSTRING : LB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32ServiceView::ClearList(int control) {
  SendDlgItemMessageA(window_, control, IsCombo(control) ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

std::string Win32ServiceView::ListEntry(int control, int index) {
  if (index < 0) return {};
  const bool combo = IsCombo(control);
  const LRESULT length = SendDlgItemMessageA(
      window_, control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got =
      SendDlgItemMessageA(window_, control, combo ? CB_GETLBTEXT : LB_GETTEXT,
                          static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::string Win32ServiceView::SelectedListEntry(int control) {
  const LRESULT index =
      SendDlgItemMessageA(window_, control, IsCombo(control) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
  return ListEntry(control, static_cast<int>(index));
}

void Win32ServiceView::SelectComboPrefix(int control, const std::string& prefix) {
  LRESULT index = SendDlgItemMessageA(window_, control, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(prefix.c_str()));
  SendDlgItemMessageA(window_, control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32ServiceView::ShowProgress(bool shown) {
  ShowWindow(GetDlgItem(window_, IDC_PROGRESS), shown ? SW_SHOW : SW_HIDE);
}

void Win32ServiceView::SetProgress(int position) {
  SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32ServiceView::SetWaitCursor(bool waiting) {
  SetCursor(LoadCursorA(nullptr, waiting ? IDC_WAIT : IDC_ARROW));
}

void Win32ServiceView::HideToTray() {
  ShowWindow(window_, SW_SHOWMINIMIZED);
  PostMessageA(window_, WM_SHOWWINDOW, 0, 4);
  ShowWindow(window_, SW_HIDE);
  RemoveTrayIcon();
  NOTIFYICONDATAA nid = TrayRecord(window_);
  Shell_NotifyIconA(NIM_ADD, &nid);
}

void Win32ServiceView::RemoveTrayIcon() {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = window_;
  nid.uID = 0;
  Shell_NotifyIconA(NIM_DELETE, &nid);
}

void Win32ServiceView::RestoreFromTray() {
  RemoveTrayIcon();
  ShowWindow(window_, SW_RESTORE);
  SetForegroundWindow(window_);
}

void Win32ServiceView::CreateTooltips(unsigned codePage) {
  tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  if (!tooltip_) return;
  SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, 300);
  SendMessageA(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 20000);
  struct Tip {
    int control;
    const core::Text* text;
  };
  const Tip tips[] = {{IDC_RELAY_PORT_LIST, &core::texts::kTipRelayPorts},
                      {IDC_ADD_PORT, &core::texts::kTipAddPort},
                      {IDC_CHECK_PORT, &core::texts::kTipCheckPort},
                      {IDC_SETTINGS, &core::texts::kTipSettings}};
  for (const Tip& tip : tips) {
    std::string text = core::Pick(system_, codePage, *tip.text);
    TOOLINFOA ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = window_;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window_, tip.control));
    ti.lpszText = text.data();
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void Win32ServiceView::PostClose() { PostMessageA(window_, WM_CLOSE, 0, 0); }

// The worker's pop-ups belong to the worker's thread, but a blocked UI thread
// would still freeze the tray icon and any message the system sends this
// window, so the wait keeps dispatching.
void Win32ServiceView::WaitWhileResponsive(core::ManualResetEvent& event) {
  while (!event.WaitFor(20)) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        event.Wait();
        return;
      }
      if (!IsDialogMessageA(window_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }
}

namespace {

struct WindowContext {
  platform::Platform* platform;
  platform::SingleInstance* single;
  Win32ServiceView* view;
  app::ServiceDialog* dialog;
};

// The buttons the service carries out; false for any other control.
bool RouteButton(app::ServiceCommands& commands, int control) {
  switch (control) {
    case IDC_ADD_PORT:
      commands.AddPort();
      return true;
    case IDC_INSTALL_PAIR:
      commands.InstallPair();
      return true;
    case IDC_SETUPC_TEST:
      commands.RunSetupc();
      return true;
    case IDC_SETTINGS:
      commands.EditSettings();
      return true;
    case IDC_CHECK_PORT:
      commands.PortCheckPrint();
      return true;
    case IDC_APP_PRINT_TEST:
      commands.DeveloperImagePrint();
      return true;
    default:
      return false;
  }
}

INT_PTR CALLBACK ServiceDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* context = reinterpret_cast<WindowContext*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      context = reinterpret_cast<WindowContext*>(lParam);
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      context->view->Attach(window);
      context->single->PublishWindow(reinterpret_cast<std::intptr_t>(window));
      context->dialog->OnInitDialog();
      return TRUE;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        context->view->HideToTray();
        return TRUE;
      }
      return FALSE;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED && context) context->view->HideToTray();
      return FALSE;
    case WM_COMMAND:
      if (!context || HIWORD(wParam) != BN_CLICKED) return FALSE;
      return RouteButton(*context->dialog, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      return TRUE;
    case WM_DESTROY:
      if (context) context->view->RemoveTrayIcon();
      return FALSE;
    case kTrayCallback:
      if (lParam == WM_LBUTTONDOWN || lParam == WM_LBUTTONDBLCLK) context->view->RestoreFromTray();
      return TRUE;
    default:
      if (context && message != 0 && message == context->view->relayMessage()) {
        context->view->HideToTray();
        SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
  }
}

}  // namespace

void RunServiceWindow(HINSTANCE instance, platform::Platform& platform,
                      platform::SingleInstance& single) {
  Win32ServiceView view(*platform.system);
  StatusDialogPrompt prompt(instance, *platform.system);
  std::unique_ptr<links::LinkFront> link = links::NewLinkFront(platform);
  app::ServiceDialog dialog(platform, view, prompt, *link);
  Win32SettingsForm settingsForm(instance, platform, prompt, [&view] { return view.window(); });
  dialog.SetSettingsForm(&settingsForm);
  WindowContext context{&platform, &single, &view, &dialog};
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SERVICE_DIALOG), nullptr, ServiceDialogProc,
                  reinterpret_cast<LPARAM>(&context));
}

}  // namespace ui::win32
