// The image button's face: icon slot, placement of icon and caption, frames,
// colours and focus rectangle for each look of the button.
#include "widgets/button_face.h"

#include <gtest/gtest.h>

namespace {

using widgets::CaptionLook;
using widgets::FaceRect;
using widgets::FaceState;
using widgets::Frame3d;
using widgets::IconAlign;
using widgets::PlanFace;

constexpr FaceRect kItem{0, 0, 100, 40};

FaceState ThreeDimensional() {
  FaceState s;
  s.flat = false;
  s.hasCaption = true;
  s.icons[widgets::kSlotIn] = {true, 32, 32};
  s.colours = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  return s;
}

struct SlotCase {
  const char* name;
  bool out, disabledSlot, selected, hover, disabled;
  int slot;
};

class IconSlotChoice : public ::testing::TestWithParam<SlotCase> {};

TEST_P(IconSlotChoice, PicksTheSlotOfTheLook) {
  const SlotCase& c = GetParam();
  FaceState s = ThreeDimensional();
  s.icons[widgets::kSlotOut] = {c.out, 32, 32};
  s.icons[widgets::kSlotDisabled] = {c.disabledSlot, 32, 32};
  s.selected = c.selected;
  s.hover = c.hover;
  s.disabled = c.disabled;
  EXPECT_EQ(PlanFace(s, kItem).iconSlot, c.slot) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    ImageButton, IconSlotChoice,
    ::testing::Values(SlotCase{"in only", false, false, false, false, false, 0},
                      SlotCase{"out look when normal", true, false, false, false, false, 1},
                      SlotCase{"in look when pressed", true, false, true, false, false, 0},
                      SlotCase{"in look when hovered", true, false, false, true, false, 0},
                      SlotCase{"disabled slot", true, true, false, false, true, 2},
                      SlotCase{"disabled without its slot", true, false, false, false, true, 0}));

TEST(ImageButtonFace, NoIconWithoutTheInSlot) {
  FaceState s = ThreeDimensional();
  s.icons = {};
  s.icons[widgets::kSlotOut] = {true, 32, 32};
  const auto plan = PlanFace(s, kItem);
  EXPECT_EQ(plan.iconSlot, -1);
  EXPECT_EQ(plan.captionArea, kItem);
}

struct PlaceCase {
  const char* name;
  bool defaultButton, selected, caption;
  IconAlign align;
  int iconX, iconY;
  FaceRect captionArea;
};

class IconPlacement : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(IconPlacement, PutsIconAndCaptionArea) {
  const PlaceCase& c = GetParam();
  FaceState s = ThreeDimensional();
  s.defaultButton = c.defaultButton;
  s.selected = c.selected;
  s.hasCaption = c.caption;
  s.align = c.align;
  const auto plan = PlanFace(s, kItem);
  EXPECT_EQ(plan.iconX, c.iconX) << c.name;
  EXPECT_EQ(plan.iconY, c.iconY) << c.name;
  if (c.caption) {
    EXPECT_EQ(plan.captionArea, c.captionArea) << c.name;
  }
  EXPECT_EQ(plan.caption, c.caption ? CaptionLook::kEnabled : CaptionLook::kNone) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    ImageButton, IconPlacement,
    ::testing::Values(
        PlaceCase{"left of caption", false, false, true, IconAlign::kLeft, 3, 4, {35, 0, 100, 40}},
        PlaceCase{"inside black frame", true, false, true, IconAlign::kLeft, 4, 4, {36, 1, 99, 39}},
        PlaceCase{
            "pressed moves by one", true, true, true, IconAlign::kLeft, 5, 5, {37, 2, 100, 40}},
        PlaceCase{"no caption: centred", false, false, false, IconAlign::kLeft, 34, 4, {}},
        PlaceCase{"no caption, pressed", false, true, false, IconAlign::kLeft, 35, 5, {}},
        PlaceCase{"above caption", false, false, true, IconAlign::kAbove, 34, 3, {0, 35, 100, 40}},
        PlaceCase{
            "right of caption", false, false, true, IconAlign::kRight, 65, 4, {0, 0, 65, 40}}));

struct LookCase {
  const char* name;
  bool flat, hover, selected, focused, defaultButton, drawBorder;
  bool blackFrame;
  Frame3d frame;
  widgets::FaceColour background, text;
};

class FaceLook : public ::testing::TestWithParam<LookCase> {};

TEST_P(FaceLook, FramesAndColours) {
  const LookCase& c = GetParam();
  FaceState s = ThreeDimensional();
  s.flat = c.flat;
  s.hover = c.hover;
  s.selected = c.selected;
  s.focused = c.focused;
  s.defaultButton = c.defaultButton;
  s.drawBorder = c.drawBorder;
  const auto plan = PlanFace(s, kItem);
  EXPECT_EQ(plan.blackFrame, c.blackFrame) << c.name;
  EXPECT_EQ(plan.body, c.blackFrame ? kItem.Shrunk(1) : kItem) << c.name;
  EXPECT_EQ(plan.frame, c.frame) << c.name;
  EXPECT_EQ(plan.background, c.background) << c.name;
  EXPECT_EQ(plan.textColour, c.text) << c.name;
}

// Colours: in 1/2, out 3/4, focus 5/6 (background/text).
INSTANTIATE_TEST_SUITE_P(
    ImageButton, FaceLook,
    ::testing::Values(LookCase{"normal", false, false, false, false, false, true, false,
                               Frame3d::kRaised, 0x03, 0x04},
                      LookCase{"pressed", false, false, true, false, false, true, false,
                               Frame3d::kSunken, 0x01, 0x02},
                      LookCase{"focused", false, false, false, true, false, true, true,
                               Frame3d::kRaised, 0x05, 0x04},
                      LookCase{"default", false, false, false, false, true, true, true,
                               Frame3d::kRaised, 0x03, 0x04},
                      LookCase{"flat", true, false, false, true, true, true, false, Frame3d::kNone,
                               0x05, 0x04},
                      LookCase{"flat hovered", true, true, false, false, false, true, false,
                               Frame3d::kRaised, 0x01, 0x02},
                      LookCase{"flat hovered, pressed", true, true, true, false, false, true, false,
                               Frame3d::kSunken, 0x01, 0x02},
                      LookCase{"flat without border", true, true, false, false, false, false, false,
                               Frame3d::kNone, 0x01, 0x02}));

TEST(ImageButtonFace, PressedLookFromTickAndMenu) {
  FaceState s = ThreeDimensional();
  s.ticked = true;
  EXPECT_FALSE(PlanFace(s, kItem).pressed) << "a tick counts in check-box mode only";
  s.checkBoxMode = true;
  EXPECT_TRUE(PlanFace(s, kItem).pressed);
  s = ThreeDimensional();
  s.menuShown = true;
  EXPECT_TRUE(PlanFace(s, kItem).pressed);
}

TEST(ImageButtonFace, DisabledCaptionIsEmbossed) {
  FaceState s = ThreeDimensional();
  s.disabled = true;
  EXPECT_EQ(PlanFace(s, kItem).caption, CaptionLook::kEmbossed);
}

TEST(ImageButtonFace, FocusRectangleInsideTheBlackFrame) {
  FaceState s = ThreeDimensional();
  s.focused = true;
  auto plan = PlanFace(s, kItem);
  EXPECT_TRUE(plan.focusRect);
  EXPECT_EQ(plan.focusArea, (FaceRect{4, 4, 96, 36}));
  s.flat = true;
  EXPECT_FALSE(PlanFace(s, kItem).focusRect);
  s.flatFocus = true;
  plan = PlanFace(s, kItem);
  EXPECT_TRUE(plan.focusRect);
  EXPECT_EQ(plan.focusArea, (FaceRect{3, 3, 97, 37}));
}

TEST(ImageButtonFace, MeasuredCaptionCentredBothWays) {
  EXPECT_EQ(widgets::CentreIn({35, 0, 100, 40}, 41, 13), (FaceRect{47, 13, 88, 26}));
  // A caption wider than its area overhangs both sides equally.
  EXPECT_EQ(widgets::CentreIn({35, 0, 100, 40}, 85, 40), (FaceRect{25, 0, 110, 40}));
}

}  // namespace
