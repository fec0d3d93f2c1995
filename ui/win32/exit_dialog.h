// ExitDialog (template 138): the confirmation before the service ends.
#pragma once

#include <windows.h>

#include "platform/system.h"

namespace ui::win32 {

// kExitConfirmed (OK) or kExitCancelled (Cancel or Escape).
int ShowExitDialog(HINSTANCE instance, HWND owner, platform::System& system, unsigned codePage);

}  // namespace ui::win32
