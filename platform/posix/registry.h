// The registry stand-in of the POSIX build: HKEY_LOCAL_MACHINE of one
// installation, kept in one text file beside the program ("registry.reg"),
// so that on Linux one installation plays the part of one machine and two
// installations never see each other's values. The text is regedit's
// (registry_text.h). Every change rewrites the whole file atomically
// (temporary file, then rename) under a lock file, so the pair installer and
// the relay can share it.
//
// Machine behaviour kept here:
//  - there is no current user's hive: OpenUserKey finds no key;
//  - a fresh machine already has the Run key
//    (SOFTWARE\Microsoft\Windows\CurrentVersion\Run);
//  - a registry file without write permission plays a user without
//    administrator rights: opening for write or all access is refused;
//  - the Run key is what makes Windows start a program at log-on; here every
//    value set under it also becomes an XDG autostart entry "<name>.desktop"
//    in the autostart directory (deleting the value removes the entry).
#pragma once

#include <memory>
#include <string>

#include "platform/registry.h"

namespace platform::posix {

inline constexpr const char* kRegistryFileName = "registry.reg";
inline constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// A registry kept in `file`. An empty `autostartDirectory` writes no
// autostart entries.
std::unique_ptr<Registry> MakeRegistry(const std::string& file,
                                       const std::string& autostartDirectory);
// "<program directory>/registry.reg".
std::string ProgramRegistryFile();
// The user's XDG autostart directory: $XDG_CONFIG_HOME/autostart, or
// $HOME/.config/autostart when XDG_CONFIG_HOME is not set.
std::string UserAutostartDirectory();

}  // namespace platform::posix
