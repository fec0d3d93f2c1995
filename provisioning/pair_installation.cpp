// Pair installation (see pair_installation.h).
#include "provisioning/pair_installation.h"

#include <algorithm>
#include <memory>

#include "core/controls.h"
#include "platform/processes.h"
#include "provisioning/port_refresh.h"

namespace provisioning {
namespace {

std::string Quoted(const std::string& path) {
  return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

int DetectArchitecture(core::ServiceDialog& dialog) {
  platform::Processes& processes = *dialog.platform().processes;
  platform::OsVersion version;
  if (!processes.QueryOsVersion(version)) return -1;

  switch (processes.ProcessorArchitecture()) {
    case platform::kProcessorAmd64:
      dialog.architecture() = kArchitectureX64;
      break;
    case platform::kProcessorIntel:
      dialog.architecture() = kArchitectureX86;
      break;
    case platform::kProcessorIa64:
      dialog.architecture() = kArchitectureIa64;
      break;
    default:
      break;
  }
  if (version.platformId == platform::kPlatformNt && version.major == 6 && version.minor == 0) {
    uint32_t product = 0;
    if (processes.ProductType(6, 0, 0, 0, product) &&
        product == platform::kProductEnterpriseServerIa64)
      dialog.architecture() = kArchitectureIa64;
  }
  switch (version.platformId) {
    case platform::kPlatformWin32s:
    case platform::kPlatformWindows9x:
    case platform::kPlatformNt:
      return 1;
    default:
      return -1;
  }
}

void InstallPortPair(core::ServiceDialog& dialog) {
  dialog.worker().Stop();  // the stop flag stays 1: the refresh does not stop it again
  const std::string port1 = core::ReadSetting(*dialog.platform().profile, core::kPortsSection,
                                              "Port1", dialog.settings().portListsPath);
  if (port1.compare(0, 3, "COM") == 0) dialog.CloseRelayPortSlot(0);
  dialog.view().ClearList(core::controls::kRelayPortList);

  DetectArchitecture(dialog);
  const int code = dialog.architecture();
  if (code == kArchitectureX86 || code == kArchitectureX64) {
    dialog.log().WriteLog(core::kLogChange, code == kArchitectureX86
                                                ? "Start add DOVI Port(32bit)"
                                                : "Start add DOVI Port(64bit)");
    std::unique_ptr<platform::Process> installer;
    const int error = dialog.platform().processes->Start(
        code == kArchitectureX86 ? kInstallerX86 : kInstallerX64, installer);
    if (error != 0 || !installer) {
      dialog.log().WriteLog(core::kLogChange, "CreateProcess failed (%d)", error);
      // Nothing was installed: the relay goes back into service as it was
      // instead of staying stopped with its port closed.
      dialog.stopFlag() = 0;
      ReopenRelayPort(dialog, false);
      return;
    }
    installer->WaitForEnd();
  }

  dialog.addingMode() = 1;
  RefreshPorts(dialog);
}

SetupCommand SetupCommandLine(core::ServiceDialog& dialog, int step) {
  static const char* const kActions[] = {"preinstall", "update", "infclean",
                                         "install PortName=COM# PortName=COM#"};
  static const char* const kReports[] = {"qrelCD.tmp", "qrelCD.tmp", "qrelCD.tmp", "qrel7FF6.tmp"};
  const int i = step < 1 ? 0 : step > 4 ? 3 : step - 1;
  const std::string directory = dialog.programDirectory().Get();
  const char separator = dialog.platform().files->PathSeparator();
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

void RunSetupCommands(core::ServiceDialog& dialog) {
  platform::Platform& platform = dialog.platform();
  for (int step = 1; step <= 4; ++step) {
    const SetupCommand command = SetupCommandLine(dialog, step);
    const int error = platform.processes->RunElevatedHidden(command.file, command.parameters);
    if (error == platform::kErrorCancelled)
      platform.system->ShowMessageBox(core::texts::kElevationDenied, "portrelay");
    else if (error == platform::kErrorFileNotFound)
      platform.system->ShowMessageBox(core::texts::kSetupcNotFound, "portrelay");
  }
}

}  // namespace provisioning
