// The main dialog of the launcher and the uninstaller (program_dialog.h).
#include "ui/win32/program_dialog.h"

#include <commctrl.h>

#include "ui/win32/dialog_parts.h"

namespace ui::win32 {
namespace {

constexpr UINT kAboutCommand = 16;

struct InfoState {
  platform::System* system;
  int textControl;
  const ProgramDialog::InfoTexts* texts;
};

INT_PTR CALLBACK InfoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      MakeTopmost(dialog);
      const auto& state = *reinterpret_cast<const InfoState*>(lParam);
      platform::System& system = *state.system;
      const unsigned codePage = system.AnsiCodePage();
      if (codePage != core::kKoreanCodePage) {
        SetWindowTextA(dialog, core::Pick(system, codePage, state.texts->caption).c_str());
        SetDlgItemTextA(dialog, state.textControl,
                        core::Pick(system, codePage, state.texts->version).c_str());
        SetDlgItemTextA(dialog, IDOK, core::Pick(system, codePage, state.texts->ok).c_str());
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

}  // namespace

ProgramDialog::ProgramDialog(HINSTANCE instance, platform::Platform& platform, Resources resources,
                             InfoTexts info)
    : instance_(instance), platform_(platform), resources_(resources), info_(info) {}

int ProgramDialog::Run() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  DialogBoxParamA(instance_, MAKEINTRESOURCEA(resources_.dialog), nullptr, Proc,
                  reinterpret_cast<LPARAM>(this));
  return 0;
}

INT_PTR ProgramDialog::OnMessage(UINT, WPARAM, LPARAM, bool* handled) {
  *handled = false;
  return FALSE;
}

void ProgramDialog::DrawMinimisedIcon(HDC dc) {
  RECT client;
  GetClientRect(window_, &client);
  SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
           (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
}

void ProgramDialog::SetUpMenuAndIcon() {
  char about[128] = {};
  LoadStringA(instance_, resources_.aboutString, about, sizeof about);
  if (about[0]) {
    HMENU menu = GetSystemMenu(window_, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kAboutCommand, about);
  }
  icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(resources_.icon));
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
}

void ProgramDialog::ShowInformation() {
  InfoState state{platform_.system, resources_.infoText, &info_};
  DialogBoxParamA(instance_, MAKEINTRESOURCEA(resources_.info), window_, InfoProc,
                  reinterpret_cast<LPARAM>(&state));
}

INT_PTR CALLBACK ProgramDialog::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = DialogState<ProgramDialog>(window, message, lParam);
  if (message == WM_INITDIALOG) {
    self->window_ = window;
    self->SetUpMenuAndIcon();
    self->OnInit();
    return TRUE;
  }
  if (!self) return FALSE;
  bool handled = false;
  const INT_PTR result = self->OnMessage(message, wParam, lParam, &handled);
  if (handled) return result;
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kAboutCommand) return FALSE;
      self->ShowInformation();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      return self->OnClicked(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace ui::win32
