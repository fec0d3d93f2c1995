// Pair installation: when no virtual port pair exists (or the user asks for
// one) the relay runs the com0com installer that ships beside the program,
// waits for it, and refreshes its ports in adding mode, which checks the
// result. A separate path runs com0com's setupc tool elevated, as four
// commands. UI thread only.
#pragma once

#include <string>

#include "core/service_dialog.h"

namespace provisioning {

inline constexpr const char* kInstallerX86 = "Setup_com0com_v3.0.0.0_x86_signed.exe";
inline constexpr const char* kInstallerX64 = "Setup_com0com_v3.0.0.0_x64_signed.exe";
inline constexpr std::size_t kSetupCommandBufferSize = 260;

enum ArchitectureCode : int { kArchitectureX86 = 0, kArchitectureX64 = 1, kArchitectureIa64 = 2 };

// Sets the dialog's architecture code from the processor (x86 0, x64 1,
// IA-64 2; other processors leave it as it was). 1 when the system was
// classified, -1 when the version query failed or the platform is unknown.
int DetectArchitecture(core::ServiceDialog& dialog);
// Stops the worker, closes the relay port, runs the installer for the
// architecture and waits for it, then refreshes the ports in adding mode.
// When the installer cannot be started the relay is put back in service.
void InstallPortPair(core::ServiceDialog& dialog);
// The four setupc commands (preinstall, update, infclean, install with the
// next free COM names), each elevated and hidden, started back to back.
void RunSetupCommands(core::ServiceDialog& dialog);

// The program and arguments of setupc command 1..4, as they are handed to the
// shell (a path with blanks in the arguments is quoted).
struct SetupCommand {
  std::string file;
  std::string parameters;
};
SetupCommand SetupCommandLine(core::ServiceDialog& dialog, int step);

}  // namespace provisioning
