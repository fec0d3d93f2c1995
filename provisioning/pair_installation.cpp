// Pair installation (see pair_installation.h).
#include "provisioning/pair_installation.h"

#include <algorithm>
#include <memory>

#include "core/controls.h"
#include "platform/os_error.h"
#include "platform/processes.h"
#include "provisioning/port_refresh.h"

namespace provisioning {
namespace {

std::string Quoted(const std::string& path) {
  return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

ArchitectureFound DetectArchitecture(platform::Processes& processes) {
  ArchitectureFound found;
  platform::OsVersion version;
  if (!processes.QueryOsVersion(version)) return found;

  switch (processes.ProcessorArchitecture()) {
    case platform::kProcessorAmd64:
      found.code = kArchitectureX64;
      break;
    case platform::kProcessorIntel:
      found.code = kArchitectureX86;
      break;
    case platform::kProcessorIa64:
      found.code = kArchitectureIa64;
      break;
    default:
      break;
  }
  if (version.platformId == platform::kPlatformNt && version.major == 6 && version.minor == 0) {
    uint32_t product = 0;
    if (processes.ProductType(6, 0, 0, 0, product) &&
        product == platform::kProductEnterpriseServerIa64)
      found.code = kArchitectureIa64;
  }
  switch (version.platformId) {
    case platform::kPlatformWin32s:
    case platform::kPlatformWindows9x:
    case platform::kPlatformNt:
      found.result = 1;
      break;
    default:
      break;
  }
  return found;
}

void InstallPortPair(core::RelayService& service, ProvisioningState& state) {
  service.worker().Stop();  // the stop flag stays 1: the refresh does not stop it again
  if (service.ReadRelayPort().isCom) service.CloseRelayPortSlot(0);
  service.view().ClearList(core::controls::kRelayPortList);

  const ArchitectureFound found = DetectArchitecture(*service.platform().processes);
  if (found.code != kArchitectureUnknown) state.architecture = found.code;
  const int code = state.architecture;
  if (code == kArchitectureX86 || code == kArchitectureX64) {
    service.log().WriteLog(core::kLogChange, code == kArchitectureX86
                                                 ? "Start add DOVI Port(32bit)"
                                                 : "Start add DOVI Port(64bit)");
    std::unique_ptr<platform::Process> installer;
    const int error = service.platform().processes->Start(
        code == kArchitectureX86 ? kInstallerX86 : kInstallerX64, installer);
    if (error != 0 || !installer) {
      service.log().WriteLog(
          core::kLogChange, "CreateProcess failed (%d): %s", error,
          platform::SystemWords(service.platform().processes->LastError()).c_str());
      // Nothing was installed: the relay goes back into service as it was
      // instead of staying stopped with its port closed.
      service.stopFlag() = 0;
      ReopenRelayPort(service, false);
      return;
    }
    installer->WaitForEnd();
  }

  state.addingMode = 1;
  RefreshPorts(service, state);
}

SetupCommand SetupCommandLine(core::RelayService& service, int step) {
  static const char* const kActions[] = {"preinstall", "update", "infclean",
                                         "install PortName=COM# PortName=COM#"};
  static const char* const kReports[] = {"qrelCD.tmp", "qrelCD.tmp", "qrelCD.tmp", "qrel7FF6.tmp"};
  const int i = step < 1 ? 0 : step > 4 ? 3 : step - 1;
  const std::string directory = service.programDirectory().Get();
  const char separator = service.platform().files->PathSeparator();
  SetupCommand command;
  command.file = directory + separator + "setupc.exe";
  command.parameters =
      "--output " + Quoted(directory + separator + kReports[i]) + " " + kActions[i];
  // The whole command line keeps to the 260-byte buffer it is formatted in.
  const std::size_t room = kSetupCommandBufferSize - 1;
  if (command.file.size() + 1 + command.parameters.size() > room) {
    const std::size_t left = command.file.size() < room ? room - command.file.size() - 1 : 0;
    command.parameters.resize(std::min(command.parameters.size(), left));
  }
  return command;
}

void RunSetupCommands(core::RelayService& service) {
  platform::Platform& platform = service.platform();
  for (int step = 1; step <= 4; ++step) {
    const SetupCommand command = SetupCommandLine(service, step);
    const int error = platform.processes->RunElevatedHidden(command.file, command.parameters);
    if (error == platform::kErrorCancelled)
      platform.system->ShowMessageBox(core::texts::kElevationDenied, "portrelay");
    else if (error == platform::kErrorFileNotFound)
      platform.system->ShowMessageBox(core::texts::kSetupcNotFound, "portrelay");
  }
}

}  // namespace provisioning
