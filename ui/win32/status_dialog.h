// StatusDialog: the colour-coded printer status pop-up (template 136), and the
// Win32 prompt that shows it.
#pragma once

#include <windows.h>

#include "core/prompt.h"
#include "platform/system.h"

namespace ui::win32 {

class StatusDialogPrompt : public core::Prompt {
 public:
  StatusDialogPrompt(HINSTANCE instance, platform::System& system)
      : instance_(instance), system_(system) {}
  int Show(const std::string& text, int kind, const std::atomic<int>* dismiss) override;

 private:
  HINSTANCE instance_;
  platform::System& system_;
};

}  // namespace ui::win32
