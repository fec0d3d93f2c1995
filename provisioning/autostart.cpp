// Autostart registration (see autostart.h).
#include "provisioning/autostart.h"

#include <memory>

#include "platform/processes.h"
#include "platform/registry.h"

namespace provisioning {
namespace {

constexpr bool kView64 = true;

}  // namespace

std::string LauncherPath(core::RelayService& service) {
  platform::Platform& platform = service.platform();
  std::string path = service.programDirectory().Get() + platform.files->PathSeparator() +
                     platform.processes->ProgramFileName(kLauncherProgram);
  if (path.size() > kAutostartBufferSize - 1) path.resize(kAutostartBufferSize - 1);
  return path;
}

int CheckAutostart(core::RelayService& service) {
  std::unique_ptr<platform::RegistryKey> key;
  if (service.platform().registry->OpenKey(kRunKey, platform::kKeyAllAccess, kView64, key) != 0 ||
      !key)
    return kAutostartNoKey;
  // The 256-byte buffer also holds the text's terminator: data of 256 bytes
  // or more does not fit.
  std::string data;
  if (key->QueryValue(kRunValueName, kAutostartBufferSize - 1, data) != 0) return kAutostartMissing;
  const std::string registered(data.c_str());
  return registered == LauncherPath(service) ? kAutostartHere : kAutostartElsewhere;
}

void RegisterAutostart(core::RelayService& service) {
  const std::string path = LauncherPath(service);
  std::unique_ptr<platform::RegistryKey> key;
  if (service.platform().registry->OpenKey(kRunKey, platform::kKeyWrite, kView64, key) != 0 || !key)
    return;
  key->SetString(kRunValueName, path);
}

}  // namespace provisioning
