// The decisions behind an image button's face: which frame, which colours,
// which icon slot, where the icon and the caption go. Free of the windowing
// API so that every build can check them; ImageButton only carries them out.
#pragma once

#include <array>
#include <cstdint>

namespace widgets {

// Colours as the windowing API stores them: 0x00BBGGRR.
using FaceColour = std::uint32_t;

struct FaceRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  FaceRect Shrunk(int by) const { return {left + by, top + by, right - by, bottom - by}; }
  FaceRect Moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  bool operator==(const FaceRect&) const = default;
};

// Where the icon sits relative to the caption.
enum class IconAlign { kLeft = 0, kAbove = 1, kRight = 2 };

// The six colours: the "in" look (hovered or pressed), the "out" look
// (normal) and the focus look, each a background and a text colour.
struct ButtonColours {
  FaceColour inBack = 0;
  FaceColour inText = 0;
  FaceColour outBack = 0;
  FaceColour outText = 0;
  FaceColour focusBack = 0;
  FaceColour focusText = 0;
};

// One icon slot: 0 the in look, 1 the out look, 2 the disabled look.
struct IconSlot {
  bool filled = false;
  int width = 0;
  int height = 0;
};

enum IconSlotIndex { kSlotIn = 0, kSlotOut = 1, kSlotDisabled = 2 };

// What a draw request and the button's own fields say.
struct FaceState {
  bool selected = false;  // the draw request's selected state
  bool focused = false;
  bool disabled = false;
  bool flat = true;
  bool hover = false;
  bool defaultButton = false;
  bool checkBoxMode = false;
  bool ticked = false;
  bool menuShown = false;
  bool drawBorder = true;
  bool flatFocus = false;
  bool hasCaption = false;
  IconAlign align = IconAlign::kLeft;
  ButtonColours colours;
  std::array<IconSlot, 3> icons{};
};

enum class Frame3d { kNone, kSunken, kRaised };
enum class CaptionLook { kNone, kEmbossed, kEnabled };

struct FacePlan {
  bool pressed = false;
  bool blackFrame = false;  // one black pixel around the item's rectangle
  FaceRect body;            // the item's rectangle inside the black frame
  FaceColour background = 0;
  Frame3d frame = Frame3d::kNone;  // drawn on the edge of `body`
  int iconSlot = -1;               // -1: no icon
  int iconX = 0;
  int iconY = 0;
  FaceRect captionArea;  // press shift included
  CaptionLook caption = CaptionLook::kNone;
  FaceColour textColour = 0;  // enabled captions
  FaceColour textBack = 0;
  bool focusRect = false;
  FaceRect focusArea;
};

// Plans one drawing of the face on the item's rectangle.
FacePlan PlanFace(const FaceState& state, FaceRect item);

// A measured caption of width x height centred both ways in its area.
FaceRect CentreIn(FaceRect area, int width, int height);

}  // namespace widgets
