// ImageButton: the owner-drawn push button of portrelay, relaytray and
// relayremove. It takes over a push button declared by a dialog template and
// paints a 32 x 32 icon left of a centred, word-wrapped caption, the raised or
// sunken frame, the black frame of the default or focused button, the focus
// rectangle and an embossed caption when disabled.
//
// Standard use, in a dialog's initialisation:
//   button.Attach(dialog, IDOK);
//   SendMessage(button.Window(), WM_SETFONT, dialogFont, FALSE);
//   button.LoadIcons(140, 32, 32);
//   button.SetFlatLook(false, true);
// The object must outlive the control's window; it is called on the thread
// that owns the dialog.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "widgets/button_face.h"

namespace widgets {

class ImageButton {
 public:
  // Longest link kept, terminator included (longer texts are cut).
  static constexpr std::size_t kLinkBytes = 260;

  ImageButton();
  // Gives the control back (when its window still exists) and destroys the
  // icons, the hover cursor and the menu.
  ~ImageButton();
  ImageButton(const ImageButton&) = delete;
  ImageButton& operator=(const ImageButton&) = delete;

  // Takes over the dialog's control `controlId` / the control window: reads
  // its template style, makes it owner-drawn and handles its messages and the
  // parent's drawing, colour and click messages for it. 0 on success; -1 when
  // there is no such control or this object already holds one.
  int Attach(HWND dialog, int controlId);
  int Attach(HWND control);
  HWND Window() const { return window_; }

  // Loads each non-zero icon resource of the program at the given size and
  // hands the icons to AssignIcons. 0 on success; -1 when an id could not be
  // loaded (its slot stays empty).
  int LoadIcons(int inId, int inWidth, int inHeight, int outId = 0, int outWidth = 0,
                int outHeight = 0, int disabledId = 0, int disabledWidth = 0,
                int disabledHeight = 0);
  // Destroys the current icons and takes ownership of the given ones (the out
  // and disabled slots only when given); a size of 0 means the icon's own.
  // Repaints. 0 on success.
  int AssignIcons(HICON in, int inWidth, int inHeight, HICON out = nullptr, int outWidth = 0,
                  int outHeight = 0, HICON disabled = nullptr, int disabledWidth = 0,
                  int disabledHeight = 0);
  // Flat (no frame until hovered) or three-dimensional.
  void SetFlatLook(bool flat, bool repaint);
  // All six colours back to the system's button face and button text.
  void UseSystemColors(bool repaint);
  // A link opened with the shell's "open" verb on each click; nullptr clears it.
  void SetLink(const char* link);

  // Extras of the class that no program of this system turns on.
  // A popup menu shown below the button on each click; owned by the button.
  void SetMenu(HMENU popup, HWND owner, bool repaint);
  // The cursor shown while a flat button is hovered; owned by the button.
  void SetHoverCursor(HCURSOR cursor);
  void SetIconAlign(IconAlign align, bool repaint);
  void SetFlatFocus(bool flatFocus, bool repaint);
  void SetAlwaysTrack(bool alwaysTrack) { alwaysTrack_ = alwaysTrack; }

  bool IsFlat() const { return flat_; }
  bool IsHover() const { return hover_; }
  bool IsDefaultButton() const { return defaultButton_; }
  bool IsCheckBoxMode() const { return checkBoxMode_; }
  bool IsTicked() const { return ticked_; }
  // The low four style bits the template declared (a default push button is
  // recorded as a plain push button).
  UINT TemplateStyle() const { return templateStyle_; }
  HICON Icon(int slot) const;
  const ButtonColours& Colours() const { return colours_; }
  const std::string& Link() const { return link_; }

 private:
  struct Slot {
    HICON icon = nullptr;
    int width = 0;
    int height = 0;
  };

  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
  LRESULT OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void TakeTemplateStyle();
  void OnDisabled();
  void OnClicked();
  void DrawItem(const DRAWITEMSTRUCT& item);
  void StartHover();
  void EndHover();
  void Release();
  void DestroyIcons();
  void Repaint();
  void Detach();

  // The fields, in the order the class has always had them.
  bool flat_ = true;
  bool hover_ = false;
  bool pressed_ = false;
  bool focused_ = false;
  bool disabled_ = false;
  bool defaultButton_ = false;
  bool checkBoxMode_ = false;
  IconAlign align_ = IconAlign::kLeft;
  bool drawBorder_ = true;
  bool flatFocus_ = false;
  ButtonColours colours_;
  HMENU menu_ = nullptr;
  HWND menuOwner_ = nullptr;
  bool menuShown_ = false;
  std::array<Slot, 3> icons_{};
  HCURSOR hoverCursor_ = nullptr;
  HCURSOR replacedCursor_ = nullptr;
  bool alwaysTrack_ = true;
  bool ticked_ = false;
  UINT templateStyle_ = 0;
  UINT_PTR timerId_ = 0;
  std::string link_;

  HWND window_ = nullptr;
  HWND parent_ = nullptr;
  // The focus went away because the button was being disabled (the system
  // takes it before the enable message arrives).
  bool lostFocusToDisable_ = false;
};

}  // namespace widgets
