// The image button under Wine: a dialog built from a template with five image
// buttons, driven through the dialog manager and real mouse input, checked on
// the pixels the buttons draw. It also saves a screenshot of the dialog
// (image_button_<code page>.bmp in PORTRELAY_SCREENSHOTS) for the driver.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/texts.h"
#include "tests/gui/gui_support.h"
#include "tests/gui/image_button_gui_ids.h"
#include "uninstaller/uninstaller_texts.h"
#include "widgets/win32/image_button.h"

namespace {

using guitest::Capture;
using guitest::Pixels;
using guitest::SaveBmp;
using guitest::Wide;

constexpr COLORREF kMarker = RGB(255, 0, 255);  // the colour of the test icons
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr DWORD kWaitMs = 5000;

struct ButtonSetUp {
  int id;
  int icon;
  const char* english;  // caption when the code page is not 949
};

// The programs' captions; the Korean ones come from the template, as in the
// programs' own dialogs.
const ButtonSetUp kButtons[] = {
    {IDOK, IDI_OK, core::texts::kButtonOk.english},
    {IDCANCEL, IDI_CANCEL, core::texts::kButtonCancel.english},
    {IDC_SETTINGS, IDI_SETTINGS, core::texts::kSettingsButton.english},
    {IDC_ICON_ONLY, IDI_PROGRAM, nullptr},
    {IDC_DELETE, IDI_DELETE, uninstaller::texts::kDeleteButton.english},
};
constexpr int kButtonCount = sizeof kButtons / sizeof kButtons[0];

const int kStripIcons[] = {IDI_PROGRAM,  IDI_LAUNCHER, IDI_REMOVER, IDI_ADD_PORT,
                           IDI_SETTINGS, IDI_OK,       IDI_CANCEL,  IDI_CHECK_PORT,
                           IDI_START,    IDI_EXIT,     IDI_DELETE};

struct Notification {
  int id;
  int code;
};

struct TestDialog {
  HWND window = nullptr;
  widgets::ImageButton buttons[kButtonCount];
  std::vector<Notification> notes;
  int doubleClicks = 0;  // WM_LBUTTONDBLCLK messages the queue delivered
};

// Every icon of the three programs at 32 and at 16 pixels.
void PaintIconStrip(const DRAWITEMSTRUCT& item) {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  HINSTANCE module = GetModuleHandleW(nullptr);
  int x = item.rcItem.left;
  for (int id : kStripIcons) {
    for (int size : {32, 16}) {
      auto icon = static_cast<HICON>(
          LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
      const int y = item.rcItem.top + (size == 32 ? 0 : 38);
      DrawIconEx(item.hDC, x + (32 - size) / 2, y, icon, size, size, 0, nullptr, DI_NORMAL);
      DestroyIcon(icon);
    }
    x += 42;
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<TestDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      state = reinterpret_cast<TestDialog*>(lParam);
      state->window = dialog;
      const bool korean = GetACP() == 949;
      HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
      for (int i = 0; i < kButtonCount; ++i) {
        const ButtonSetUp& setUp = kButtons[i];
        if (!korean && setUp.english)
          SetDlgItemTextW(dialog, setUp.id, Wide(setUp.english).c_str());
        widgets::ImageButton& button = state->buttons[i];
        button.Attach(dialog, setUp.id);
        SendMessageW(button.Window(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        button.LoadIcons(setUp.icon, 32, 32, 0, 32, 32, 0, 32, 32);
        button.SetFlatLook(false, true);
      }
      return TRUE;
    }
    case WM_COMMAND:
      // Recorded only: the dialog stays until the test destroys it.
      state->notes.push_back({LOWORD(wParam), HIWORD(wParam)});
      return TRUE;
    case WM_DRAWITEM:
      if (wParam != IDC_ICON_STRIP) return FALSE;
      PaintIconStrip(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    default:
      return FALSE;
  }
}

struct Box {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;  // inclusive
  bool Empty() const { return right < 0; }
};

Box Find(const Pixels& p, const std::function<bool(COLORREF)>& match, RECT area) {
  Box box;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (!match(p.At(x, y))) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  }
  return box;
}

int Count(const Pixels& p, COLORREF colour, RECT area) {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) n += p.At(x, y) == colour;
  }
  return n;
}

bool IsMarker(COLORREF c) { return c == kMarker; }
bool IsDark(COLORREF c) { return GetRValue(c) < 96 && GetGValue(c) < 96 && GetBValue(c) < 96; }

// The control's face as it draws it now (through the parent's draw-item).
Pixels Render(HWND control) {
  RECT client;
  GetClientRect(control, &client);
  return Capture(client.right, client.bottom, [&](HDC dc) {
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  });
}

HICON SolidIcon(COLORREF colour, int size) {
  HDC screen = GetDC(nullptr);
  HBITMAP image = CreateCompatibleBitmap(screen, size, size);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, image);
  HBRUSH brush = CreateSolidBrush(colour);
  RECT all{0, 0, size, size};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  std::vector<BYTE> opaque(static_cast<size_t>(size) * size / 8, 0);
  HBITMAP mask = CreateBitmap(size, size, 1, 1, opaque.data());
  ICONINFO info{TRUE, 0, 0, mask, image};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(image);
  return icon;
}

bool IconAlive(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return false;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return true;
}

class ImageButtonDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BUTTONS),
                                     nullptr, DialogProc, reinterpret_cast<LPARAM>(state_.get()));
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
    ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == window; }));
  }

  void TearDown() override {
    if (IsWindow(Dialog())) DestroyWindow(Dialog());
  }

  HWND Dialog() const { return state_->window; }
  HWND Item(int id) const { return GetDlgItem(Dialog(), id); }
  widgets::ImageButton& Button(int id) {
    for (int i = 0; i < kButtonCount; ++i) {
      if (kButtons[i].id == id) return state_->buttons[i];
    }
    throw std::invalid_argument("no such button");
  }

  // Moves the focus the way the dialog manager does (default button included).
  void Focus(int id) {
    SendMessageW(Dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
  }

  int Notes(int id, int code) const {
    int n = 0;
    for (const Notification& note : state_->notes) n += note.id == id && note.code == code;
    return n;
  }

  // Runs the dialog's message loop until `done` holds or the time is up.
  bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_LBUTTONDBLCLK) ++state_->doubleClicks;
        if (!IsDialogMessageW(Dialog(), &msg)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
      if (done()) return true;
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= timeoutMs) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
  }

  std::unique_ptr<TestDialog> state_ = std::make_unique<TestDialog>();
};

TEST_F(ImageButtonDialog, TemplateButtonsBecomeOwnerDrawn) {
  for (const ButtonSetUp& setUp : kButtons) {
    const LONG style = GetWindowLongW(Item(setUp.id), GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_OWNERDRAW) << setUp.id;
    EXPECT_TRUE(style & WS_TABSTOP) << setUp.id;
    EXPECT_EQ(Button(setUp.id).TemplateStyle(), static_cast<UINT>(BS_PUSHBUTTON)) << setUp.id;
    EXPECT_EQ(Button(setUp.id).IsDefaultButton(), setUp.id == IDOK) << setUp.id;
    EXPECT_FALSE(Button(setUp.id).IsFlat()) << setUp.id;
    EXPECT_NE(Button(setUp.id).Icon(widgets::kSlotIn), nullptr) << setUp.id;
  }
}

TEST_F(ImageButtonDialog, DefaultButtonStaysDefaultWhileAnotherControlHasTheFocus) {
  Focus(IDC_EDIT);
  ASSERT_EQ(GetFocus(), Item(IDC_EDIT));
  EXPECT_EQ(SendMessageW(Dialog(), DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
  EXPECT_TRUE(SendMessageW(Item(IDOK), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
  EXPECT_TRUE(SendMessageW(Item(IDCANCEL), WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON);

  // The black frame all round the default button, none on a plain one.
  const Pixels ok = Render(Item(IDOK));
  for (int x = 0; x < ok.width; ++x) {
    ASSERT_EQ(ok.At(x, 0), kBlack) << x;
    ASSERT_EQ(ok.At(x, ok.height - 1), kBlack) << x;
  }
  for (int y = 0; y < ok.height; ++y) {
    ASSERT_EQ(ok.At(0, y), kBlack) << y;
    ASSERT_EQ(ok.At(ok.width - 1, y), kBlack) << y;
  }
  const Pixels cancel = Render(Item(IDCANCEL));
  EXPECT_EQ(cancel.At(0, cancel.height / 2), GetSysColor(COLOR_BTNHIGHLIGHT));

  // Enter in the edit control presses the default button.
  PostMessageW(Item(IDC_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageW(Item(IDC_EDIT), WM_KEYUP, VK_RETURN, 0xC01C0001);
  EXPECT_TRUE(PumpUntil([&] { return Notes(IDOK, BN_CLICKED) == 1; }));
}

TEST_F(ImageButtonDialog, DefaultLookFollowsTheDialogManager) {
  HWND cancel = Item(IDCANCEL);
  SendMessageW(cancel, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EXPECT_TRUE(Button(IDCANCEL).IsDefaultButton());
  EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_TRUE(SendMessageW(cancel, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
  SendMessageW(cancel, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  EXPECT_FALSE(Button(IDCANCEL).IsDefaultButton());
  EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
}

TEST_F(ImageButtonDialog, DisablingTheFocusedButtonMovesTheFocusToTheNextTabStop) {
  Focus(IDCANCEL);
  ASSERT_EQ(GetFocus(), Item(IDCANCEL));
  EnableWindow(Item(IDCANCEL), FALSE);
  EXPECT_EQ(GetFocus(), Item(IDC_SETTINGS));
}

TEST_F(ImageButtonDialog, DisablingAnUnfocusedButtonLeavesTheFocusAlone) {
  Focus(IDC_EDIT);
  ASSERT_EQ(GetFocus(), Item(IDC_EDIT));
  EnableWindow(Item(IDCANCEL), FALSE);
  EXPECT_EQ(GetFocus(), Item(IDC_EDIT));
}

TEST_F(ImageButtonDialog, DoubleClickGivesTwoClicks) {
  HWND button = Item(IDC_DELETE);
  RECT r;
  GetWindowRect(button, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT input[4] = {};
  const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                          MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 4; ++i) {
    input[i].type = INPUT_MOUSE;
    input[i].mi.dwFlags = flags[i];
  }
  ASSERT_EQ(SendInput(4, input, sizeof(INPUT)), 4u);
  EXPECT_TRUE(PumpUntil([&] { return Notes(IDC_DELETE, BN_CLICKED) == 2; }));
  EXPECT_EQ(state_->doubleClicks, 1) << "the second press must arrive as a double click";
  EXPECT_EQ(Notes(IDC_DELETE, BN_DOUBLECLICKED), 0);
}

TEST_F(ImageButtonDialog, PressingShiftsIconAndCaptionAndSinksTheFrame) {
  Focus(IDC_EDIT);
  HWND settings = Item(IDC_SETTINGS);
  Button(IDC_SETTINGS).AssignIcons(SolidIcon(kMarker, 32), 32, 32);
  const Pixels up = Render(settings);
  SendMessageW(settings, BM_SETSTATE, TRUE, 0);
  const Pixels down = Render(settings);
  SendMessageW(settings, BM_SETSTATE, FALSE, 0);

  const RECT inside{1, 1, up.width - 1, up.height - 1};
  const Box iconUp = Find(up, IsMarker, inside);
  const Box iconDown = Find(down, IsMarker, inside);
  ASSERT_FALSE(iconUp.Empty());
  EXPECT_EQ(iconUp.left, 3);
  EXPECT_EQ(iconUp.top, (up.height - 32) / 2);
  EXPECT_EQ(iconUp.right - iconUp.left + 1, 32);
  EXPECT_EQ(iconDown.left, iconUp.left + 1);
  EXPECT_EQ(iconDown.top, iconUp.top + 1);

  const RECT captionArea{iconUp.right + 2, 1, up.width - 1, up.height - 1};
  const Box textUp = Find(up, IsDark, captionArea);
  const Box textDown = Find(down, IsDark, captionArea);
  ASSERT_FALSE(textUp.Empty());
  EXPECT_EQ(textDown.left, textUp.left + 1);
  EXPECT_EQ(textDown.top, textUp.top + 1);
  EXPECT_EQ(textDown.right, textUp.right + 1);
  EXPECT_EQ(textDown.bottom, textUp.bottom + 1);

  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  const int midX = up.width / 2, midY = up.height / 2;
  EXPECT_EQ(up.At(0, midY), highlight);
  EXPECT_EQ(up.At(midX, 0), highlight);
  EXPECT_EQ(up.At(up.width - 1, midY), shadow);
  EXPECT_EQ(up.At(midX, up.height - 1), shadow);
  EXPECT_EQ(down.At(0, midY), shadow);
  EXPECT_EQ(down.At(midX, 0), shadow);
  EXPECT_EQ(down.At(down.width - 1, midY), highlight);
  EXPECT_EQ(down.At(midX, down.height - 1), highlight);
}

TEST_F(ImageButtonDialog, ButtonWithoutCaptionCentresItsIcon) {
  Focus(IDC_EDIT);
  Button(IDC_ICON_ONLY).AssignIcons(SolidIcon(kMarker, 32), 32, 32);
  const Pixels face = Render(Item(IDC_ICON_ONLY));
  const Box icon = Find(face, IsMarker, {0, 0, face.width, face.height});
  ASSERT_FALSE(icon.Empty());
  EXPECT_EQ(icon.left, (face.width - 32) / 2);
  EXPECT_EQ(icon.top, (face.height - 32) / 2);
  EXPECT_EQ(icon.bottom - icon.top + 1, 32);
}

TEST_F(ImageButtonDialog, DisabledButtonShowsItsIconAndAnEmbossedCaption) {
  Focus(IDC_EDIT);
  Button(IDC_SETTINGS).AssignIcons(SolidIcon(kMarker, 32), 32, 32);
  EnableWindow(Item(IDC_SETTINGS), FALSE);
  const Pixels face = Render(Item(IDC_SETTINGS));
  const Box icon = Find(face, IsMarker, {0, 0, face.width, face.height});
  ASSERT_FALSE(icon.Empty()) << "slot 0 stands in for the missing disabled icon";
  const RECT captionArea{icon.right + 2, 2, face.width - 2, face.height - 2};
  EXPECT_GT(Count(face, GetSysColor(COLOR_BTNHIGHLIGHT), captionArea), 10);
  EXPECT_GT(Count(face, GetSysColor(COLOR_BTNSHADOW), captionArea), 10);
  EXPECT_TRUE(Find(face, IsDark, captionArea).Empty()) << "no caption in the text colour";
}

TEST_F(ImageButtonDialog, IconsAreDestroyedWhenReplacedAndWithTheButton) {
  widgets::ImageButton& ok = Button(IDOK);
  HICON loaded = ok.Icon(widgets::kSlotIn);
  ASSERT_TRUE(IconAlive(loaded));
  HICON marker = SolidIcon(kMarker, 32);
  ok.AssignIcons(marker, 32, 32);
  EXPECT_FALSE(IconAlive(loaded));
  ok.AssignIcons(marker, 32, 32);  // handed in again: kept
  EXPECT_TRUE(IconAlive(marker));

  ASSERT_EQ(ok.LoadIcons(IDI_OK, 32, 32, IDI_CANCEL, 32, 32, IDI_EXIT, 32, 32), 0);
  EXPECT_FALSE(IconAlive(marker));
  HICON slots[3] = {ok.Icon(0), ok.Icon(1), ok.Icon(2)};
  for (HICON icon : slots) EXPECT_TRUE(IconAlive(icon));
  DestroyWindow(Dialog());
  for (HICON icon : slots) EXPECT_FALSE(IconAlive(icon));
  EXPECT_EQ(ok.Icon(0), nullptr);
}

TEST_F(ImageButtonDialog, MissingIconResourceIsReported) {
  widgets::ImageButton& cancel = Button(IDCANCEL);
  HICON before = cancel.Icon(widgets::kSlotIn);
  EXPECT_EQ(cancel.LoadIcons(9999, 32, 32), -1);
  EXPECT_EQ(cancel.Icon(widgets::kSlotIn), nullptr);
  EXPECT_FALSE(IconAlive(before));
  // Drawn without an icon: the caption alone, centred on the whole face.
  const Pixels face = Render(Item(IDCANCEL));
  const Box text = Find(face, IsDark, {1, 1, face.width - 1, face.height - 1});
  ASSERT_FALSE(text.Empty());
  EXPECT_LE(std::abs((text.left + text.right + 1) / 2 - face.width / 2), 2);
}

// The dialog in the looks the programs use, for a person to look at: the
// default button framed while the edit has the focus, a disabled button, a
// pressed icon-only button, a wrapped caption, every icon at 32 and 16 pixels.
TEST_F(ImageButtonDialog, Screenshot) {
  Focus(IDC_EDIT);
  EnableWindow(Item(IDC_SETTINGS), FALSE);
  SendMessageW(Item(IDC_ICON_ONLY), BM_SETSTATE, TRUE, 0);
  RedrawWindow(Dialog(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpUntil([] { return GetQueueStatus(QS_ALLINPUT) == 0; });

  RECT window;
  GetWindowRect(Dialog(), &window);
  const Pixels shot = guitest::CaptureScreen(window);
  // The screen shows what the button drew: the default button's black frame.
  RECT ok;
  GetWindowRect(Item(IDOK), &ok);
  EXPECT_EQ(shot.At(ok.left - window.left, (ok.top + ok.bottom) / 2 - window.top), kBlack);
  EXPECT_EQ(shot.At((ok.left + ok.right) / 2 - window.left, ok.top - window.top), kBlack);

  const char* dir = std::getenv("PORTRELAY_SCREENSHOTS");
  if (!dir) return;  // run by hand: nothing to save
  const std::string path = std::string(dir) + "/image_button_" + std::to_string(GetACP()) + ".bmp";
  EXPECT_TRUE(SaveBmp(shot, path)) << path;
}

}  // namespace
