// Pair installation: when no virtual port pair exists (or the user asks for
// one) the relay runs the com0com installer that ships beside the program,
// waits for it, and refreshes its ports in adding mode, which checks the
// result. A separate path runs com0com's setupc tool elevated, as four
// commands. UI thread only.
#pragma once

#include <string>

#include "core/relay_service.h"
#include "platform/processes.h"
#include "provisioning/provisioning_state.h"

namespace provisioning {

inline constexpr const char* kInstallerX86 = "Setup_com0com_v3.0.0.0_x86_signed.exe";
inline constexpr const char* kInstallerX64 = "Setup_com0com_v3.0.0.0_x64_signed.exe";
inline constexpr std::size_t kSetupCommandBufferSize = 260;

enum ArchitectureCode : int {
  kArchitectureUnknown = -1,
  kArchitectureX86 = 0,
  kArchitectureX64 = 1,
  kArchitectureIa64 = 2,
};

// What the processor and the system version say.
struct ArchitectureFound {
  // 1 when the system was classified, -1 when the version query failed or
  // the platform is unknown.
  int result = -1;
  // The processor's code; unknown for other processors (and when the version
  // query failed), which leaves the state's code as it was.
  int code = kArchitectureUnknown;
};
ArchitectureFound DetectArchitecture(platform::Processes& processes);

// Stops the worker, closes the relay port, runs the installer for the
// architecture and waits for it, then refreshes the ports in adding mode.
// When the installer cannot be started the relay is put back in service.
void InstallPortPair(core::RelayService& service, ProvisioningState& state);
// The four setupc commands (preinstall, update, infclean, install with the
// next free COM names), each elevated and hidden, started back to back.
void RunSetupCommands(core::RelayService& service);

// The program and arguments of setupc command 1..4, as they are handed to the
// shell (a path with blanks in the arguments is quoted).
struct SetupCommand {
  std::string file;
  std::string parameters;
};
SetupCommand SetupCommandLine(core::RelayService& service, int step);

}  // namespace provisioning
