// Face planning of the image button, step by step in drawing order.
#include "widgets/button_face.h"

namespace widgets {
namespace {

// Distance between the icon and the button's edge, and between icon and caption.
constexpr int kIconGap = 3;

bool PressedLook(const FaceState& s) {
  return s.selected || (s.checkBoxMode && s.ticked) || s.menuShown;
}

FaceColour BackgroundOf(const FaceState& s, bool pressed) {
  if (s.hover || pressed) return s.colours.inBack;
  if (s.focused) return s.colours.focusBack;
  return s.colours.outBack;
}

Frame3d FrameOf(const FaceState& s, bool pressed) {
  // A flat button shows an edge only while the mouse is on it (or it is held).
  if (s.flat && !(s.drawBorder && (s.hover || pressed))) return Frame3d::kNone;
  return pressed ? Frame3d::kSunken : Frame3d::kRaised;
}

int ChooseIconSlot(const FaceState& s, bool pressed) {
  if (!s.icons[kSlotIn].filled) return -1;
  if (s.disabled) return s.icons[kSlotDisabled].filled ? kSlotDisabled : kSlotIn;
  if (s.icons[kSlotOut].filled && !pressed && !s.hover) return kSlotOut;
  return kSlotIn;
}

// Puts the icon on the body and gives back the room left for the caption.
FaceRect PlaceIcon(const FaceState& s, const IconSlot& icon, FaceRect body, FacePlan& plan) {
  const int centredX = body.left + (body.Width() - icon.width) / 2;
  const int centredY = body.top + (body.Height() - icon.height) / 2;
  FaceRect captionArea = body;
  if (!s.hasCaption) {
    plan.iconX = centredX;
    plan.iconY = centredY;
    return captionArea;
  }
  switch (s.align) {
    case IconAlign::kAbove:
      plan.iconX = centredX;
      plan.iconY = body.top + kIconGap;
      captionArea.top = body.top + icon.height + kIconGap;
      break;
    case IconAlign::kRight:
      plan.iconX = body.right - icon.width - kIconGap;
      plan.iconY = centredY;
      captionArea.right = body.right - icon.width - kIconGap;
      break;
    case IconAlign::kLeft:
    default:
      plan.iconX = body.left + kIconGap;
      plan.iconY = centredY;
      captionArea.left = body.left + icon.width + kIconGap;
      break;
  }
  return captionArea;
}

}  // namespace

FacePlan PlanFace(const FaceState& s, FaceRect item) {
  FacePlan plan;
  plan.pressed = PressedLook(s);

  plan.blackFrame = !s.flat && (s.focused || s.defaultButton);
  plan.body = plan.blackFrame ? item.Shrunk(1) : item;
  plan.background = BackgroundOf(s, plan.pressed);
  plan.frame = FrameOf(s, plan.pressed);

  FaceRect captionArea = plan.body;
  plan.iconSlot = ChooseIconSlot(s, plan.pressed);
  if (plan.iconSlot >= 0) {
    captionArea = PlaceIcon(s, s.icons[plan.iconSlot], plan.body, plan);
    if (plan.pressed) {
      ++plan.iconX;
      ++plan.iconY;
    }
  }

  if (s.hasCaption) {
    plan.captionArea = plan.pressed ? captionArea.Moved(1, 1) : captionArea;
    if (s.disabled) {
      plan.caption = CaptionLook::kEmbossed;
    } else {
      plan.caption = CaptionLook::kEnabled;
      const bool in = s.hover || plan.pressed;
      plan.textColour = in ? s.colours.inText : s.colours.outText;
      plan.textBack = in ? s.colours.inBack : s.colours.outBack;
    }
  }

  plan.focusRect = s.focused && (!s.flat || s.flatFocus);
  if (plan.focusRect) plan.focusArea = plan.body.Shrunk(3);
  return plan;
}

FaceRect CentreIn(FaceRect area, int width, int height) {
  const int left = area.left + (area.Width() - width) / 2;
  const int top = area.top + (area.Height() - height) / 2;
  return {left, top, left + width, top + height};
}

}  // namespace widgets
