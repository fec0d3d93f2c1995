// Autostart registration: the machine-wide Run value that starts the
// launcher (relaytray, beside this program) at log-on, and the check start-up
// makes against it, which also tells whether the program was moved away from
// where it was installed. The value is kept in the 64-bit registry view, the
// view the uninstaller deletes it from.
#pragma once

#include <string>

#include "core/relay_service.h"

namespace provisioning {

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "portrelay";
inline constexpr const char* kLauncherProgram = "relaytray";
inline constexpr std::size_t kAutostartBufferSize = 256;

enum AutostartResult : int {
  kAutostartNoKey = -1,     // the Run key cannot be opened with full access
  kAutostartMissing = 1,    // no value, or one that does not fit 256 bytes
  kAutostartHere = 2,       // the value names the launcher beside this program
  kAutostartElsewhere = 3,  // the value names something else
};

// "<program directory><separator><launcher file>", cut to 255 characters.
std::string LauncherPath(core::RelayService& service);
int CheckAutostart(core::RelayService& service);
// Sets the value to LauncherPath; failures are silent.
void RegisterAutostart(core::RelayService& service);

}  // namespace provisioning
