// The Win32 settings dialog: template 134 driven by the portable presenter
// ui::SettingsDialog, shown modally over the main window by EditSettings.
#pragma once

#include <windows.h>

#include <functional>

#include "app/settings_form.h"
#include "core/prompt.h"
#include "platform/platform.h"

namespace ui::win32 {

class Win32SettingsForm : public app::SettingsForm {
 public:
  // `owner` gives the window the dialog belongs to when it is shown (the
  // main window, which the modal dialog disables meanwhile).
  Win32SettingsForm(HINSTANCE instance, platform::Platform& platform, core::Prompt& prompt,
                    std::function<HWND()> owner)
      : instance_(instance), platform_(platform), prompt_(prompt), owner_(std::move(owner)) {}

  int Show(app::SettingsTexts& texts, int firstShowing) override;

 private:
  HINSTANCE instance_;
  platform::Platform& platform_;
  core::Prompt& prompt_;
  std::function<HWND()> owner_;
};

}  // namespace ui::win32
