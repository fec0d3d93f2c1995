// The Win32 recent receipts window: the RecentReceiptsView over template
// 146's controls. The dialog is a Unicode window, so the preview shows a
// Korean receipt in any ANSI code page; the other texts come in the ANSI code
// page and are set through the A calls. The list is a report-style list view,
// the preview a read-only edit on white in a fixed-pitch font (the receipt's
// columns line up), the background the settings dialog's gradient, Print
// again and Close image buttons.
#include "ui/win32/recent_receipts_dialog.h"

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/gradients.h"
#include "ui/recent_receipts_dialog.h"
#include "ui/win32/dialog_parts.h"
#include "ui/win32/painting.h"
#include "ui/win32/resource.h"
#include "widgets/win32/image_button.h"

namespace ui::win32 {
namespace {

namespace ids = ui::recent_controls;

static_assert(ids::kList == IDC_RECENT_LIST && ids::kProblem == IDC_RECENT_PROBLEM &&
              ids::kPreview == IDC_RECENT_PREVIEW && ids::kStatus == IDC_RECENT_STATUS &&
              ids::kPrintAgain == IDC_RECENT_PRINT_AGAIN && ids::kClose == IDCANCEL &&
              ids::kListLabel == IDC_RECENT_LIST_LABEL &&
              ids::kPreviewLabel == IDC_RECENT_PREVIEW_LABEL);

constexpr UINT kLoadMessage = WM_APP + 1;
// Shares of the list's width: received time, size, state.
constexpr int kColumnShares[] = {40, 27, 33};
// The receipt's font: the Korean systems' fixed-pitch face; elsewhere the
// font mapper picks the nearest fixed-pitch one.
constexpr wchar_t kPreviewFace[] = L"GulimChe";

std::wstring Wide(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// Runs `call` on a thread of its own while the window goes on painting: the
// core reads the journal folder from disk for each list and each job, which
// takes a moment when the journal is large. The dialog takes no input
// meanwhile, so the presenter is not asked for anything else until it has
// its answer.
template <typename Call>
auto WhilePainting(HWND dialog, Call call) -> decltype(call()) {
  decltype(call()) result{};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = call();
    done = true;
    PostMessageW(dialog, WM_NULL, 0, 0);
  });
  const BOOL wasDisabled = EnableWindow(dialog, FALSE);
  HCURSOR cursor = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514) /* IDC_WAIT */));
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  worker.join();
  if (!wasDisabled) EnableWindow(dialog, TRUE);
  SetCursor(cursor);
  return result;
}

// The service's recent receipts, each call off the window's thread.
class ResponsiveReceipts : public ui::RecentReceiptsSource {
 public:
  ResponsiveReceipts(HWND dialog, core::RelayService& service)
      : dialog_(dialog), service_(service) {}
  core::RecentList List(std::size_t most) override {
    return WhilePainting(dialog_, [&] { return service_.List(most); });
  }
  int Read(uint64_t id, std::string& bytes) override {
    return WhilePainting(dialog_, [&] { return service_.Read(id, bytes); });
  }
  core::ReprintResult Reprint(uint64_t id) override {
    return WhilePainting(dialog_, [&] { return service_.Reprint(id); });
  }

 private:
  HWND dialog_;
  ui::ServiceReceipts service_;
};

class Win32RecentView : public ui::RecentReceiptsView {
 public:
  explicit Win32RecentView(HWND dialog) : dialog_(dialog), list_(GetDlgItem(dialog, ids::kList)) {}

  void SetCaption(const std::string& text) override { SetWindowTextA(dialog_, text.c_str()); }
  void SetText(int control, const std::string& text) override {
    SetDlgItemTextA(dialog_, control, text.c_str());
  }
  void SetColumns(const std::vector<std::string>& headings) override {
    RECT client;
    GetClientRect(list_, &client);
    const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
    for (size_t i = 0; i < headings.size() && i < std::size(kColumnShares); ++i) {
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      column.pszText = const_cast<char*>(headings[i].c_str());
      column.cx = width * kColumnShares[i] / 100;
      column.iSubItem = static_cast<int>(i);
      SendMessageA(list_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
  }
  void ShowRows(const std::vector<RecentRow>& rows) override {
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::string* cells[] = {&rows[i].time, &rows[i].size, &rows[i].state};
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = const_cast<char*>(cells[0]->c_str());
      const int at = static_cast<int>(
          SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
      for (int sub = 1; sub < 3; ++sub) {
        LVITEMA cell{};
        cell.iSubItem = sub;
        cell.pszText = const_cast<char*>(cells[sub]->c_str());
        SendMessageA(list_, LVM_SETITEMTEXTA, static_cast<WPARAM>(at),
                     reinterpret_cast<LPARAM>(&cell));
      }
    }
    ShowWindow(GetDlgItem(dialog_, ids::kProblem), SW_HIDE);
    ShowWindow(list_, SW_SHOW);
  }
  // A white box in the list's place, the text a line below its top.
  void ShowProblem(const std::string& text) override {
    ShowWindow(list_, SW_HIDE);
    SetDlgItemTextA(dialog_, ids::kProblem, ("\r\n" + text).c_str());
    ShowWindow(GetDlgItem(dialog_, ids::kProblem), SW_SHOW);
  }
  void SetPreview(const std::string& utf8) override {
    std::string lines;
    lines.reserve(utf8.size() + utf8.size() / 16);
    for (char c : utf8) {
      if (c == '\n') lines += '\r';
      lines += c;
    }
    SetDlgItemTextW(dialog_, ids::kPreview, Wide(lines, CP_UTF8).c_str());
  }
  void Enable(int control, bool enabled) override {
    EnableWindow(GetDlgItem(dialog_, control), enabled ? TRUE : FALSE);
  }
  void Close() override { EndDialog(dialog_, IDCANCEL); }

  // The row the list has selected, -1 for none.
  int SelectedRow() const {
    return static_cast<int>(
        SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }

 private:
  HWND dialog_;
  HWND list_;
};

struct DialogContext {
  platform::System* system = nullptr;
  core::RelayService* service = nullptr;
  std::unique_ptr<ResponsiveReceipts> source;
  std::unique_ptr<Win32RecentView> view;
  std::unique_ptr<ui::RecentReceiptsDialog> presenter;
  widgets::ImageButton printAgain;
  widgets::ImageButton close;
  HFONT previewFont = nullptr;
  HBRUSH paper = nullptr;
};

// The dialog font's height in the fixed-pitch face.
HFONT CreatePreviewFont(HWND dialog) {
  LOGFONTW font{};
  if (HFONT dialogFont = DialogFont(dialog)) GetObjectW(dialogFont, sizeof font, &font);
  if (font.lfHeight == 0) font.lfHeight = -12;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  wcsncpy(font.lfFaceName, kPreviewFace, LF_FACESIZE - 1);
  return CreateFontIndirectW(&font);
}

void InitDialog(HWND dialog, DialogContext& context) {
  SetUpImageButton(dialog, context.printAgain, {IDC_RECENT_PRINT_AGAIN, IDI_PROGRAM},
                   DialogFont(dialog));
  SetUpImageButton(dialog, context.close, {IDCANCEL, IDI_CANCEL}, DialogFont(dialog));
  HWND list = GetDlgItem(dialog, ids::kList);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  context.previewFont = CreatePreviewFont(dialog);
  if (context.previewFont)
    SendDlgItemMessageW(dialog, ids::kPreview, WM_SETFONT,
                        reinterpret_cast<WPARAM>(context.previewFont), FALSE);
  context.paper = CreateSolidBrush(RGB(255, 255, 255));

  context.source = std::make_unique<ResponsiveReceipts>(dialog, *context.service);
  context.view = std::make_unique<Win32RecentView>(dialog);
  context.presenter = std::make_unique<ui::RecentReceiptsDialog>(
      *context.system, *context.source, *context.view,
      [system = context.system](std::string_view bytes, unsigned codePage) {
        return system->ToUtf8(std::string(bytes), codePage);
      });
  context.presenter->OnInitDialog();
  CentreOnScreen(dialog);
  // Opened from the tray: nothing of the program is in front yet.
  SetForegroundWindow(dialog);
  // The list once the window shows.
  PostMessageW(dialog, kLoadMessage, 0, 0);
}

INT_PTR CALLBACK RecentDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* context = DialogState<DialogContext>(dialog, message, lParam);
  switch (message) {
    case kLoadMessage:
      if (context && context->presenter) context->presenter->Load();
      return TRUE;
    case WM_INITDIALOG:
      InitDialog(dialog, *context);
      return TRUE;
    case WM_COMMAND:
      if (!context || !context->presenter || HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (LOWORD(wParam) == ids::kPrintAgain) context->presenter->OnPrintAgain();
      if (LOWORD(wParam) == ids::kClose) context->presenter->OnClose();
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (context && context->presenter && header->idFrom == ids::kList &&
          header->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change->uChanged & LVIF_STATE) &&
            ((change->uOldState ^ change->uNewState) & LVIS_SELECTED))
          context->presenter->OnSelect(context->view->SelectedRow());
      }
      return FALSE;
    }
    case WM_ERASEBKGND:
      PaintBands(dialog, reinterpret_cast<HDC>(wParam), Bands::kRows, ui::SettingsDialogRow);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      // The read-only preview is the receipt's paper, the problem box white
      // like the list it stands for; labels stand on the gradient.
      if (context && (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, ids::kPreview) ||
                      reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, ids::kProblem))) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(context->paper);
      }
      return reinterpret_cast<INT_PTR>(
          StaticOnGradient(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    default:
      return FALSE;
  }
}

}  // namespace

void ShowRecentReceiptsDialog(HINSTANCE instance, HWND owner, platform::System& system,
                              core::RelayService& service) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  DialogContext context;
  context.system = &system;
  context.service = &service;
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_RECENT_RECEIPTS_DIALOG), owner, RecentDialogProc,
                  reinterpret_cast<LPARAM>(&context));
  // The controls that used them are gone with the dialog.
  if (context.previewFont) DeleteObject(context.previewFont);
  if (context.paper) DeleteObject(context.paper);
}

}  // namespace ui::win32
