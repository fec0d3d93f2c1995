// XDG autostart entries: the desktop session starts every program named by a
// "<name>.desktop" file in the autostart directory when the user logs on,
// which is what the Run key does on Windows.
#pragma once

#include <string>

namespace platform::posix {

// Writes "<directory>/<name>.desktop" (creating the directory) that starts
// `program` at log-on. False when the entry cannot be written or the program
// path holds a control character.
bool WriteAutostartEntry(const std::string& directory, const std::string& name,
                         const std::string& program);
// Removes the entry; true when none is left.
bool RemoveAutostartEntry(const std::string& directory, const std::string& name);
// The Exec value that runs `program`: quoted, with the desktop entry escapes.
std::string DesktopExecValue(const std::string& program);

}  // namespace platform::posix
