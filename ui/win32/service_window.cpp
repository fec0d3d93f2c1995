// The Win32 main window: template 102, its controls as the ServiceView, the
// painted background, the tray icon and the messages that keep the program
// alive in the tray.
#include "ui/win32/service_window.h"

#include <commctrl.h>

#include <memory>

#include "core/controls.h"
#include "core/texts.h"
#include "links/link_front.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/exit_dialog.h"
#include "ui/win32/info_dialog.h"
#include "ui/win32/recent_receipts_dialog.h"
#include "ui/win32/resource.h"
#include "ui/win32/settings_dialog.h"
#include "ui/win32/status_dialog.h"
#include "ui/win32/tray_icon.h"

namespace ui::win32 {
namespace {

static_assert(kTrayMenuKorean == IDR_TRAY_MENU_KOREAN && kTrayMenuEnglish == IDR_TRAY_MENU_ENGLISH);
static_assert(kOpenServiceCommand == ID_OPEN_SERVICE && kExitServiceCommand == ID_EXIT_SERVICE &&
              kPrinterSettingCommand == ID_PRINTER_SETTING &&
              kRecentReceiptsCommand == ID_RECENT_RECEIPTS);
static_assert(kAboutCommand == IDM_ABOUTBOX);

// The second parameter of the show-window notification HideToTray posts to
// the window itself.
constexpr LPARAM kHideRequest = 4;

constexpr ButtonIcon kImageButtons[] = {
    {IDC_ADD_PORT, IDI_ADD_PORT}, {IDC_CHECK_PORT, IDI_CHECK_PORT}, {IDC_SETTINGS, IDI_SETTINGS}};

// An elevated program does not receive registered messages from Explorer,
// which runs with ordinary rights, unless it lets them through. The call is
// missing before Windows 7.
void AcceptFromExplorer(HWND window, UINT message) {
  using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  auto filter = reinterpret_cast<FilterEx>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
  if (filter) filter(window, message, 1 /* MSGFLT_ALLOW */, nullptr);
}

}  // namespace

Win32ServiceView::Win32ServiceView(HINSTANCE instance, platform::System& system)
    : instance_(instance),
      system_(system),
      icon_(LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM))) {}

void Win32ServiceView::Attach(HWND window, MainWindow& presenter) {
  window_ = window;
  presenter_ = &presenter;
}

void Win32ServiceView::InitControls(unsigned codePage) {
  codePage_ = codePage;
  presenter_->SetCodePage(codePage);

  char about[128] = {};
  LoadStringA(instance_, IDS_ABOUTBOX, about, sizeof about);
  if (about[0]) {
    HMENU menu = GetSystemMenu(window_, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
  }

  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

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
  SetUpButtons();

  HWND progress = GetDlgItem(window_, IDC_PROGRESS);
  ShowWindow(progress, SW_HIDE);
  SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageA(progress, PBM_SETBARCOLOR, 0, RGB(0, 255, 0));
  SetDlgItemTextA(window_, IDC_PORT_COUNT, "0");

  relayMessage_ = RegisterWindowMessageA("Kelvo_VCOM");
  taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
  AcceptFromExplorer(window_, taskbarCreatedMessage_);

  CentreOnScreen(window_);
}

void Win32ServiceView::SetUpButtons() {
  for (size_t i = 0; i < buttons_.size(); ++i) {
    SetUpImageButton(window_, buttons_[i], kImageButtons[i], DialogFont(window_));
  }
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

// The tooltip has no owner: under Wine a window that owns a popup does not
// become topmost ("Open service"). It shows itself topmost anyway and is
// destroyed with the main window.
void Win32ServiceView::CreateTooltips(unsigned codePage) {
  tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                             instance_, nullptr);
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
    // The tooltip watches the control's mouse messages itself: the modal
    // dialog's message loop has no place to relay them.
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = window_;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window_, tip.control));
    ti.lpszText = text.data();
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void Win32ServiceView::DestroyTooltips() {
  if (tooltip_) DestroyWindow(tooltip_);
  tooltip_ = nullptr;
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

void Win32ServiceView::ShowMinimized() { ShowWindow(window_, SW_SHOWMINIMIZED); }

void Win32ServiceView::PostHide() { PostMessageA(window_, WM_SHOWWINDOW, FALSE, kHideRequest); }

void Win32ServiceView::Restore() { ShowWindow(window_, SW_RESTORE); }

void Win32ServiceView::BringToForeground() { SetForegroundWindow(window_); }

void Win32ServiceView::MakeTopmost() { win32::MakeTopmost(window_); }

std::string Win32ServiceView::Caption() {
  char caption[128] = {};
  GetWindowTextA(window_, caption, sizeof caption);
  return caption;
}

// The menu is tracked from the window's own message handler; the window must
// be in the foreground or the menu would not close when the user clicks
// elsewhere, and the null message afterwards lets it close at once.
void Win32ServiceView::ShowTrayMenu(int menuId) {
  POINT cursor{};
  GetCursorPos(&cursor);
  HMENU menu = LoadMenuA(instance_, MAKEINTRESOURCEA(menuId));
  if (!menu) return;
  SetForegroundWindow(window_);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, cursor.x,
                 cursor.y, 0, window_, nullptr);
  PostMessageA(window_, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

void Win32ServiceView::ShowInfoDialog() {
  win32::ShowInfoDialog(instance_, window_, system_, codePage_);
}

void Win32ServiceView::ShowRecentReceipts() {
  if (service_) win32::ShowRecentReceiptsDialog(instance_, window_, system_, *service_);
}

int Win32ServiceView::ShowExitDialog() {
  return win32::ShowExitDialog(instance_, window_, system_, codePage_);
}

void Win32ServiceView::Destroy() { DestroyWindow(window_); }

namespace {

struct WindowContext {
  platform::SingleInstance* single;
  Win32ServiceView* view;
  app::ServiceDialog* dialog;
  // Made once the window exists.
  std::unique_ptr<ShellTrayIcon> tray;
  std::unique_ptr<MainWindow> presenter;
};

void PaintWindow(HWND window, const Win32ServiceView& view) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (IsIconic(window)) {
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, view.icon());
  } else {
    PaintBands(window, dc, Bands::kColumns, MainWindowColumn);
  }
  EndPaint(window, &ps);
}

// Messages whose result a dialog procedure returns through DWLP_MSGRESULT.
INT_PTR Result(HWND window, LRESULT result) {
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK ServiceDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* context = reinterpret_cast<WindowContext*>(GetWindowLongPtrA(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    context = reinterpret_cast<WindowContext*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    context->tray = std::make_unique<ShellTrayIcon>(window, context->view->icon());
    context->presenter =
        std::make_unique<MainWindow>(*context->view, *context->tray, *context->dialog);
    context->view->Attach(window, *context->presenter);
    context->single->PublishWindow(reinterpret_cast<std::intptr_t>(window));
    context->dialog->OnInitDialog();
    return TRUE;
  }
  if (!context || !context->presenter) return FALSE;
  MainWindow& presenter = *context->presenter;

  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        presenter.OnCloseCommand();
        return TRUE;
      }
      return presenter.OnSystemCommand(static_cast<int>(wParam & 0xFFF0)) ? TRUE : FALSE;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED) presenter.OnMinimized();
      return FALSE;
    case WM_SHOWWINDOW:
      if (!wParam && lParam == kHideRequest) {
        if (presenter.HideStillWanted()) ShowWindow(window, SW_HIDE);
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (LOWORD(wParam) == IDCANCEL) {
        presenter.OnEscape();
        return TRUE;
      }
      return presenter.OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_CLOSE:
      // Only the service itself asks for this (start-up's fatal conditions):
      // the window's close box goes to the tray.
      DestroyWindow(window);
      return TRUE;
    case WM_DESTROY:
      presenter.OnDestroy();
      context->view->DestroyTooltips();
      PostQuitMessage(0);
      return FALSE;
    case WM_PAINT:
      PaintWindow(window, *context->view);
      return TRUE;
    case WM_ERASEBKGND:
      // The paint covers the whole client area; erasing first would flash.
      return Result(window, 1);
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          StaticOnGradient(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(context->view->icon());
    case kTrayCallback:
      presenter.OnTrayEvent(static_cast<unsigned>(lParam));
      return Result(window, 0);
    default:
      break;
  }
  if (message == 0) return FALSE;
  if (message == context->view->relayMessage()) {
    presenter.OnRelayMessage();
    return Result(window, 0);
  }
  if (message == context->view->taskbarCreatedMessage()) {
    presenter.OnTaskbarCreated();
    return Result(window, 0);
  }
  return FALSE;
}

}  // namespace

void RunServiceWindow(HINSTANCE instance, platform::Platform& platform,
                      platform::SingleInstance& single) {
  Win32ServiceView view(instance, *platform.system);
  StatusDialogPrompt prompt(instance, *platform.system);
  std::unique_ptr<links::LinkFront> link = links::NewLinkFront(platform);
  // Made before the service so that it outlives the service's worker.
  WindowContext context{&single, &view, nullptr, nullptr, nullptr};
  app::ServiceDialog dialog(platform, view, prompt, *link);
  context.dialog = &dialog;
  view.SetService(dialog.service());
  Win32SettingsForm settingsForm(instance, platform, prompt, [&view] { return view.window(); });
  dialog.SetSettingsForm(&settingsForm);
  // The window runs its own loop rather than the dialog manager's: that one
  // shows its dialog when the queue first runs empty, and this window must
  // stay in the tray after start-up.
  HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SERVICE_DIALOG), nullptr,
                                   ServiceDialogProc, reinterpret_cast<LPARAM>(&context));
  if (!window) return;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

}  // namespace ui::win32
