// Running the Windows build under Wine from a Linux test: the project's
// wine-run wrapper (own prefix, virtual display) and the built .exe files.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

namespace winetest {

// The folder of the Windows build that Wine runs on this machine: the 32-bit
// build where 32-bit programs run, the x86_64 build where they cannot (as
// scripts/wine-arch says); PORTRELAY_WINDOWS_BIN names another.
std::string WindowsBinDirectory();
// Path of a program of that build (build/windows/bin/NAME).
std::string WindowsProgram(const std::string& name);
// True when that build's programs are x86_64 (read off portrelay.exe).
bool ProgramsAre64Bit();
// The command line that runs a Windows program under Wine.
std::vector<std::string> WineCommand(const std::string& exe,
                                     const std::vector<std::string>& args = {});
// Waits until the path exists.
bool WaitForFile(const std::string& path, int timeoutMs);
// A null-modem pair of pseudo-terminals from socat, linked at `first` and
// `second` (a dosdevices/comN entry, say, and the application's end); any
// old link is replaced. True once both links exist.
bool StartPtyPair(support::ChildProcess& pair, const std::string& first, const std::string& second);
// The Wine prefix the tests use.
std::string WinePrefix();
// Removes what an earlier portrelay.exe left in the prefix's registry (its
// autostart value and the virtual pair's keys), so that a test's fresh folder
// counts as a new installation on a machine without a pair.
void ForgetInstallation();
// Wine runs a program as a process of its own in the launcher's process
// group: the pid of `exeName` started by the launcher `launcherPid` (-1: none).
int WindowsProcessPid(int launcherPid, const std::string& exeName);
// The pid of the prefix's wineserver, -1 when none runs.
int WineserverPid();
// Closes the running portrelay.exe through its window (as the tray's exit
// command does) and waits for it to end: a Wine program does not always end
// on a signal from Linux. The closer's output ("closed after N ms").
std::string CloseRelayWindow();

// What a program run to its end printed, and its exit status (none when it
// did not end in time and was killed).
struct Finished {
  std::optional<int> status;
  std::string output;
};
// Runs the command with the extra environment until it ends. Its output goes
// through a file: programs it starts (and the Wine server) may keep a pipe
// open long after it ended.
Finished RunToEnd(const std::vector<std::string>& command,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  int timeoutMs);
// `wine reg ARGS` in the registry's 64-bit view; its output.
std::string Reg(std::vector<std::string> args);
// The X display the Wine programs show their windows on.
std::string Display();
// Saves the screen rectangle of a window_probe "rect X Y W H" line as a PNG.
bool SaveScreenshot(const std::string& rectLine, const std::string& pngPath);
// Where the screenshots of the Windows programs go (build/screenshots).
std::string ScreenshotDirectory();

// The first line of a text of the text tables, as a log line or a window's
// one-line record of it begins.
std::string FirstLine(const char* text);

}  // namespace winetest
