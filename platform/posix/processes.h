// How the POSIX build plays the com0com programs the relay starts. Windows
// runs com0com's own installers and its setupc tool; here one program of this
// build, "pairsetup" in the program directory, takes their place:
//
//   Setup_com0com_v3.0.0.0_x86_signed.exe   ->  <program dir>/pairsetup
//   Setup_com0com_v3.0.0.0_x64_signed.exe   ->  <program dir>/pairsetup
//   setupc.exe ARGS...                       ->  <program dir>/pairsetup ARGS...
//
// (file names compare without regard to case and to the folder they are
// given in). Any other bare program name is looked for in the program
// directory, as CreateProcess does first. Tests substitute an installer by
// putting their own "pairsetup" beside the program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace platform::posix {

inline constexpr const char* kPairInstallerProgram = "pairsetup";

// Splits a command line at blanks; double quotes group (and are removed).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// The argument vector that runs `commandLine` on this build, as above.
std::vector<std::string> MapCommandLine(const std::string& commandLine,
                                        const std::string& programDirectory);

// Processes whose program directory is `programDirectory` (tests give their
// own "installation").
std::unique_ptr<Processes> MakeProcesses(const std::string& programDirectory);

}  // namespace platform::posix
