// InfoDialog (template 100): what the program is, opened from the system menu.
#pragma once

#include <windows.h>

#include "platform/system.h"

namespace ui::win32 {

void ShowInfoDialog(HINSTANCE instance, HWND owner, platform::System& system, unsigned codePage);

}  // namespace ui::win32
