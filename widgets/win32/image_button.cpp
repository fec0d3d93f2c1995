// ImageButton: subclassing of the control and of its parent (which receives
// the drawing, colour and click messages of owner-drawn buttons), the message
// handling and the drawing of the planned face.
#include "widgets/win32/image_button.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

namespace widgets {
namespace {

constexpr UINT_PTR kHoverTimer = 1;
constexpr UINT kHoverTimerMs = 50;
// Longest caption drawn, in characters.
constexpr int kCaptionChars = 256;

FaceRect ToFace(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT ToRect(const FaceRect& r) { return {r.left, r.top, r.right, r.bottom}; }

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

// One-pixel three-dimensional edge: `topLeft` on the top and left lines,
// `bottomRight` on the others.
void DrawEdgeLines(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
  FillSolid(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
  FillSolid(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
  FillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
  FillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

SIZE IconSize(HICON icon) {
  SIZE size{0, 0};
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return size;
  BITMAP bitmap{};
  if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
    size = {bitmap.bmWidth, bitmap.bmHeight};
  } else if (info.hbmMask && GetObjectW(info.hbmMask, sizeof bitmap, &bitmap)) {
    size = {bitmap.bmWidth, bitmap.bmHeight / 2};  // mask and image stacked
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return size;
}

UINT_PTR SubclassId(const ImageButton* button) { return reinterpret_cast<UINT_PTR>(button); }

}  // namespace

ImageButton::ImageButton() { UseSystemColors(false); }

ImageButton::~ImageButton() {
  Detach();
  Release();
}

int ImageButton::Attach(HWND dialog, int controlId) {
  return Attach(dialog ? GetDlgItem(dialog, controlId) : nullptr);
}

int ImageButton::Attach(HWND control) {
  if (window_ || !control || !IsWindow(control)) return -1;
  window_ = control;
  parent_ = GetParent(control);
  TakeTemplateStyle();
  const UINT_PTR id = SubclassId(this);
  const auto self = reinterpret_cast<DWORD_PTR>(this);
  if (!SetWindowSubclass(window_, ControlProc, id, self)) {
    window_ = parent_ = nullptr;
    return -1;
  }
  if (parent_) SetWindowSubclass(parent_, ParentProc, id, self);
  return 0;
}

void ImageButton::TakeTemplateStyle() {
  const LONG style = GetWindowLongW(window_, GWL_STYLE);
  templateStyle_ = style & BS_TYPEMASK;
  if (templateStyle_ == BS_CHECKBOX || templateStyle_ == BS_AUTOCHECKBOX) checkBoxMode_ = true;
  if (templateStyle_ == BS_DEFPUSHBUTTON) {
    defaultButton_ = true;
    templateStyle_ = BS_PUSHBUTTON;
  }
  SetWindowLongW(window_, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
  SetWindowPos(window_, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// Gives a still living control back its template style, so that it is not
// left owner-drawn with nobody to draw it.
void ImageButton::Detach() {
  if (!window_) return;
  const UINT_PTR id = SubclassId(this);
  if (timerId_) KillTimer(window_, timerId_);
  timerId_ = 0;
  RemoveWindowSubclass(window_, ControlProc, id);
  if (parent_) RemoveWindowSubclass(parent_, ParentProc, id);
  const LONG style = GetWindowLongW(window_, GWL_STYLE);
  const UINT type = defaultButton_ ? BS_DEFPUSHBUTTON : templateStyle_;
  SetWindowLongW(window_, GWL_STYLE, (style & ~BS_TYPEMASK) | type);
  InvalidateRect(window_, nullptr, TRUE);
  window_ = parent_ = nullptr;
}

int ImageButton::LoadIcons(int inId, int inWidth, int inHeight, int outId, int outWidth,
                           int outHeight, int disabledId, int disabledWidth, int disabledHeight) {
  HINSTANCE module = GetModuleHandleW(nullptr);
  int result = 0;
  auto load = [&](int id, int width, int height) -> HICON {
    if (id == 0) return nullptr;
    auto icon = static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
    if (!icon) result = -1;
    return icon;
  };
  HICON in = load(inId, inWidth, inHeight);
  HICON out = load(outId, outWidth, outHeight);
  HICON disabled = load(disabledId, disabledWidth, disabledHeight);
  AssignIcons(in, inWidth, inHeight, out, outWidth, outHeight, disabled, disabledWidth,
              disabledHeight);
  return result;
}

int ImageButton::AssignIcons(HICON in, int inWidth, int inHeight, HICON out, int outWidth,
                             int outHeight, HICON disabled, int disabledWidth, int disabledHeight) {
  std::array<Slot, 3> next{{{in, inWidth, inHeight},
                            {out, outWidth, outHeight},
                            {disabled, disabledWidth, disabledHeight}}};
  for (Slot& slot : next) {
    if (!slot.icon) {
      slot = {};
    } else if (slot.width <= 0 || slot.height <= 0) {
      const SIZE size = IconSize(slot.icon);
      slot.width = size.cx;
      slot.height = size.cy;
    }
  }
  // An icon handed in again is kept, not destroyed under the new slot.
  for (Slot& old : icons_) {
    for (const Slot& keep : next) {
      if (old.icon && old.icon == keep.icon) old.icon = nullptr;
    }
  }
  DestroyIcons();
  icons_ = next;
  Repaint();
  return 0;
}

void ImageButton::DestroyIcons() {
  for (std::size_t i = 0; i < icons_.size(); ++i) {
    HICON icon = icons_[i].icon;
    if (!icon) continue;
    // The same icon in two slots is destroyed once.
    for (std::size_t j = i; j < icons_.size(); ++j) {
      if (icons_[j].icon == icon) icons_[j].icon = nullptr;
    }
    DestroyIcon(icon);
  }
  icons_ = {};
}

HICON ImageButton::Icon(int slot) const {
  if (slot < 0 || slot >= static_cast<int>(icons_.size())) return nullptr;
  return icons_[slot].icon;
}

void ImageButton::SetFlatLook(bool flat, bool repaint) {
  flat_ = flat;
  if (repaint) Repaint();
}

void ImageButton::UseSystemColors(bool repaint) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF text = GetSysColor(COLOR_BTNTEXT);
  colours_ = {face, text, face, text, face, text};
  if (repaint) Repaint();
}

void ImageButton::SetLink(const char* link) {
  link_.clear();
  if (link) link_.assign(link, strnlen(link, kLinkBytes - 1));
}

void ImageButton::SetMenu(HMENU popup, HWND owner, bool repaint) {
  if (menu_ && menu_ != popup) DestroyMenu(menu_);
  menu_ = popup;
  menuOwner_ = owner;
  if (repaint) Repaint();
}

void ImageButton::SetHoverCursor(HCURSOR cursor) {
  if (hoverCursor_ && hoverCursor_ != cursor) DestroyCursor(hoverCursor_);
  hoverCursor_ = cursor;
}

void ImageButton::SetIconAlign(IconAlign align, bool repaint) {
  align_ = align;
  if (repaint) Repaint();
}

void ImageButton::SetFlatFocus(bool flatFocus, bool repaint) {
  flatFocus_ = flatFocus;
  if (repaint) Repaint();
}

void ImageButton::Repaint() {
  if (window_) InvalidateRect(window_, nullptr, FALSE);
}

void ImageButton::Release() {
  DestroyIcons();
  if (hoverCursor_) DestroyCursor(hoverCursor_);
  hoverCursor_ = replacedCursor_ = nullptr;
  if (menu_) DestroyMenu(menu_);
  menu_ = nullptr;
  menuOwner_ = nullptr;
}

LRESULT CALLBACK ImageButton::ControlProc(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
  return reinterpret_cast<ImageButton*>(self)->OnControlMessage(message, wParam, lParam);
}

LRESULT ImageButton::OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = DefSubclassProc(window, message, wParam, lParam);
      code &= ~(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
      return code | (defaultButton_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case BM_SETSTYLE: {
      // The dialog manager moves the default look between push buttons this way.
      const UINT type = wParam & BS_TYPEMASK;
      if (type == BS_DEFPUSHBUTTON) defaultButton_ = true;
      if (type == BS_PUSHBUTTON) defaultButton_ = false;
      return DefSubclassProc(window, message, (wParam & ~BS_TYPEMASK) | BS_OWNERDRAW, lParam);
    }
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONDOWN:
      // A double click is a second press, so it clicks twice.
      SendMessageW(window, BM_SETSTATE, TRUE, 0);
      return DefSubclassProc(window, WM_LBUTTONDOWN, wParam, lParam);
    case WM_SETFOCUS:
      lostFocusToDisable_ = false;
      return DefSubclassProc(window, message, wParam, lParam);
    case WM_ENABLE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      if (!wParam) OnDisabled();
      lostFocusToDisable_ = false;
      return result;
    }
    case WM_KILLFOCUS:
      // Disabling the focused control takes its focus before WM_ENABLE comes.
      lostFocusToDisable_ = !IsWindowEnabled(window) && wParam == 0;
      [[fallthrough]];
    case WM_CANCELMODE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      EndHover();
      return result;
    }
    case WM_ACTIVATE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      if (LOWORD(wParam) == WA_INACTIVE) EndHover();
      return result;
    }
    case WM_MOUSEMOVE:
      if (flat_ && !hover_ && !(wParam & MK_LBUTTON)) {
        POINT cursor;
        GetCursorPos(&cursor);
        if (WindowFromPoint(cursor) == window && (alwaysTrack_ || GetActiveWindow())) {
          StartHover();
        }
      }
      return DefSubclassProc(window, message, wParam, lParam);
    case WM_TIMER:
      if (wParam != kHoverTimer) break;
      {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(window, &cursor);
        RECT client;
        GetClientRect(window, &client);
        if (!PtInRect(&client, cursor)) PostMessageW(window, WM_MOUSELEAVE, 0, 0);
      }
      return 0;
    case WM_MOUSELEAVE:
      EndHover();
      break;
    case WM_SETCURSOR:
      if (hover_ && hoverCursor_) {
        SetCursor(hoverCursor_);
        return TRUE;
      }
      break;
    case WM_DESTROY:
      if (timerId_) KillTimer(window, timerId_);
      timerId_ = 0;
      break;
    case WM_NCDESTROY: {
      const UINT_PTR id = SubclassId(this);
      RemoveWindowSubclass(window, ControlProc, id);
      if (parent_) RemoveWindowSubclass(parent_, ParentProc, id);
      window_ = parent_ = nullptr;
      Release();
      return DefSubclassProc(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

void ImageButton::OnDisabled() {
  if (lostFocusToDisable_ || GetFocus() == window_) {
    HWND next = parent_ ? GetNextDlgTabItem(parent_, window_, FALSE) : nullptr;
    if (next && next != window_) {
      SetFocus(next);
    } else if (parent_) {
      SetFocus(parent_);
    }
  }
  EndHover();
}

LRESULT CALLBACK ImageButton::ParentProc(HWND parent, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self) {
  auto* button = reinterpret_cast<ImageButton*>(self);
  switch (message) {
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item && item->CtlType == ODT_BUTTON && item->hwndItem == button->window_) {
        button->DrawItem(*item);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORBTN:
      if (reinterpret_cast<HWND>(lParam) == button->window_) {
        return reinterpret_cast<LRESULT>(GetStockObject(HOLLOW_BRUSH));
      }
      break;
    case WM_COMMAND:
      // The parent still gets the click after the button's own handling.
      if (reinterpret_cast<HWND>(lParam) == button->window_ && HIWORD(wParam) == BN_CLICKED) {
        button->OnClicked();
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(parent, ParentProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(parent, message, wParam, lParam);
}

void ImageButton::OnClicked() {
  if (checkBoxMode_) {
    ticked_ = !ticked_;
    Repaint();
  } else if (menu_) {
    RECT r;
    GetWindowRect(window_, &r);
    menuShown_ = true;
    Repaint();
    TrackPopupMenuEx(menu_, TPM_LEFTALIGN | TPM_LEFTBUTTON, r.left, r.bottom,
                     menuOwner_ ? menuOwner_ : parent_, nullptr);
    menuShown_ = false;
    Repaint();
  } else if (!link_.empty()) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = parent_;
    info.lpVerb = "open";
    info.lpFile = link_.c_str();
    info.nShow = SW_SHOWMAXIMIZED;
    ShellExecuteExA(&info);
  }
}

void ImageButton::StartHover() {
  hover_ = true;
  if (hoverCursor_) replacedCursor_ = SetCursor(hoverCursor_);
  Repaint();
  timerId_ = SetTimer(window_, kHoverTimer, kHoverTimerMs, nullptr);
}

void ImageButton::EndHover() {
  if (timerId_ && window_) KillTimer(window_, timerId_);
  timerId_ = 0;
  if (replacedCursor_) SetCursor(replacedCursor_);
  replacedCursor_ = nullptr;
  if (!hover_) return;
  hover_ = false;
  Repaint();
}

void ImageButton::DrawItem(const DRAWITEMSTRUCT& item) {
  FaceState state;
  state.selected = item.itemState & ODS_SELECTED;
  state.focused = item.itemState & ODS_FOCUS;
  state.disabled = item.itemState & ODS_DISABLED;
  state.flat = flat_;
  state.hover = hover_;
  state.defaultButton = defaultButton_;
  state.checkBoxMode = checkBoxMode_;
  state.ticked = ticked_;
  state.menuShown = menuShown_;
  state.drawBorder = drawBorder_;
  state.flatFocus = flatFocus_;
  state.align = align_;
  state.colours = colours_;
  for (std::size_t i = 0; i < icons_.size(); ++i) {
    state.icons[i] = {icons_[i].icon != nullptr, icons_[i].width, icons_[i].height};
  }
  wchar_t caption[kCaptionChars + 1] = {};
  GetWindowTextW(window_, caption, kCaptionChars + 1);
  state.hasCaption = caption[0] != 0;

  const FacePlan plan = PlanFace(state, ToFace(item.rcItem));
  pressed_ = plan.pressed;
  focused_ = state.focused;
  disabled_ = state.disabled;

  HDC dc = item.hDC;
  const int saved = SaveDC(dc);
  SetBkMode(dc, TRANSPARENT);
  if (auto font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0))) {
    SelectObject(dc, font);
  }

  if (plan.blackFrame)
    FrameRect(dc, &item.rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const RECT body = ToRect(plan.body);
  FillSolid(dc, body, plan.background);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  if (plan.frame == Frame3d::kSunken) DrawEdgeLines(dc, body, shadow, highlight);
  if (plan.frame == Frame3d::kRaised) DrawEdgeLines(dc, body, highlight, shadow);

  if (plan.iconSlot >= 0) {
    const Slot& icon = icons_[plan.iconSlot];
    DrawIconEx(dc, plan.iconX, plan.iconY, icon.icon, icon.width, icon.height, 0, nullptr,
               DI_NORMAL);
  }

  if (plan.caption != CaptionLook::kNone) {
    constexpr UINT kFormat = DT_WORDBREAK | DT_CENTER;
    RECT measured = ToRect(plan.captionArea);
    DrawTextW(dc, caption, -1, &measured, kFormat | DT_CALCRECT);
    RECT placed = ToRect(
        CentreIn(plan.captionArea, measured.right - measured.left, measured.bottom - measured.top));
    SetBkMode(dc, TRANSPARENT);
    if (plan.caption == CaptionLook::kEmbossed) {
      RECT lit = placed;
      OffsetRect(&lit, 1, 1);
      SetTextColor(dc, highlight);
      DrawTextW(dc, caption, -1, &lit, kFormat);
      SetTextColor(dc, shadow);
      DrawTextW(dc, caption, -1, &placed, kFormat);
    } else {
      SetTextColor(dc, plan.textColour);
      SetBkColor(dc, plan.textBack);
      DrawTextW(dc, caption, -1, &placed, kFormat);
    }
  }

  if (plan.focusRect) {
    const RECT focus = ToRect(plan.focusArea);
    DrawFocusRect(dc, &focus);
  }
  RestoreDC(dc, saved);
}

}  // namespace widgets
