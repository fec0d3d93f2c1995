// The Win32 recent receipts window: template 146 driven by the portable
// presenter ui::RecentReceiptsDialog, shown modally by the tray command.
#pragma once

#include <windows.h>

#include "core/relay_service.h"
#include "platform/system.h"

namespace ui::win32 {

// Returns when the window is closed.
void ShowRecentReceiptsDialog(HINSTANCE instance, HWND owner, platform::System& system,
                              core::RelayService& service);

}  // namespace ui::win32
