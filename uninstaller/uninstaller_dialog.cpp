// UninstallerDialog (see uninstaller_dialog.h).
#include "uninstaller/uninstaller_dialog.h"

#include <memory>

#include "core/format.h"
#include "platform/durable_files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/running_programs.h"
#include "platform/serial_port.h"
#include "uninstaller/uninstall_search.h"
#include "uninstaller/uninstaller_texts.h"

namespace uninstaller {
namespace {

constexpr const char* kPortKeyFormat =
    "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCA%d\\Device Parameters";
constexpr const char* kPortNameValue = "PortName";
// No port name comes near this; a larger value is not read at all.
constexpr uint32_t kLargestPortNameValue = 65536;
constexpr bool kView64 = true;
constexpr uint32_t kPortQueueBytes = 8192;
constexpr uint32_t kReleaseBaudRate = 9600;
// Error 1067 (ERROR_PROCESS_ABORTED): the relay found has already ended.
constexpr int kProcessAborted = 1067;

}  // namespace

UninstallerDialog::UninstallerDialog(platform::Platform& platform, UninstallerView& view)
    : platform_(platform), view_(view) {}

void UninstallerDialog::Trace(const std::string& utf8) {
  platform_.system->DebugOutput(platform_.system->FromUtf8(utf8));
}

void UninstallerDialog::OnInitDialog() {
  codePage_ = platform_.system->AnsiCodePage();
  if (codePage_ != core::kKoreanCodePage) {
    auto say = [&](const core::Text& text) {
      return core::Pick(*platform_.system, codePage_, text);
    };
    view_.SetCaption(say(texts::kCaption));
    view_.SetControlText(kNoticeText, say(texts::kNotice));
    view_.SetControlText(kServiceBox, say(texts::kServiceBox));
    view_.SetControlText(kDriverBox, say(texts::kDriverBox));
    view_.SetControlText(kDeleteButton, say(texts::kDeleteButton));
    view_.SetControlText(kExitButton, say(texts::kExitButton));
  }
  FillApplicationPorts();
  view_.SetChecked(kServiceBox, true);
  view_.SetChecked(kDriverBox, true);
}

void UninstallerDialog::OnCheckBoxClicked() {
  view_.EnableControl(kDeleteButton, view_.IsChecked(kServiceBox) || view_.IsChecked(kDriverBox));
}

void UninstallerDialog::OnDeleteClicked() {
  if (removed_) return;
  removed_ = true;
  if (view_.IsChecked(kServiceBox)) {
    ReleaseApplicationPorts();
    StopService();
    RunServiceUninstall();
    DeleteAutostartValue();
    DeleteSettingsFiles();
  }
  if (view_.IsChecked(kDriverBox)) RemoveDriver();
  view_.PostClose();
}

// The application ends of com0com's pairs; a pair whose name cannot be read
// ends the scan.
void UninstallerDialog::FillApplicationPorts() {
  applicationPorts_.clear();
  for (int n = 0; n < kApplicationPortSlots; ++n) {
    std::unique_ptr<platform::RegistryKey> key;
    if (platform_.registry->OpenKey(core::Format(kPortKeyFormat, n), platform::kKeyRead, kView64,
                                    key) != platform::kRegOk ||
        !key)
      continue;
    uint32_t size = 0;
    std::string data;
    if (key->QueryValueSize(kPortNameValue, size) != platform::kRegOk ||
        size >= kLargestPortNameValue ||
        key->QueryValue(kPortNameValue, size + 1, data) != platform::kRegOk)
      return;
    applicationPorts_.emplace_back(data.c_str());
  }
}

// Each application port is opened once and left as a plain line, so that no
// setting of the relay's time stays on it.
void UninstallerDialog::ReleaseApplicationPorts() {
  platform::System& system = *platform_.system;
  for (const std::string& name : applicationPorts_) {
    const std::string device = "\\\\.\\" + name;
    std::unique_ptr<platform::SerialPort> port = platform_.serialPorts->Open(device, false);
    if (!port) continue;
    port->SetupQueues(kPortQueueBytes, kPortQueueBytes);
    port->Purge(platform::kPurgeAll);
    platform::CommTimeouts timeouts;
    const bool timeoutsSet = port->GetTimeouts(timeouts) && [&] {
      timeouts.readInterval = 50;
      timeouts.readTotalMultiplier = 0;
      timeouts.readTotalConstant = 100;
      timeouts.writeTotalMultiplier = 2;
      timeouts.writeTotalConstant = 0;
      return port->SetTimeouts(timeouts);
    }();
    if (!timeoutsSet) {
      system.ShowMessageBox(core::Format(texts::kSetTimeoutsFailed, device.c_str()),
                            texts::kBoxCaption);
      continue;
    }
    platform::LineSettings line;
    if (!port->GetLineSettings(line)) {
      system.ShowMessageBox(core::Format(texts::kGetStateFailed, device.c_str()),
                            texts::kBoxCaption);
      continue;
    }
    platform::SetPlainLine(line, kReleaseBaudRate);
    if (!port->SetLineSettings(line))
      system.ShowMessageBox(core::Format(texts::kSetStateFailed, device.c_str()),
                            texts::kBoxCaption);
  }
}

// The relay is asked to end with exit code 1. One that ignores the request
// (hung, or its thread cannot be started) is ended by force: the removal
// never waits without a limit.
void UninstallerDialog::StopService() {
  const std::string file = platform_.processes->ProgramFileName(kServiceProgram);
  std::unique_ptr<platform::RunningProgram> service =
      platform_.runningPrograms->FindService(file, kServiceLockName);
  if (!service) {
    Trace(texts::kServiceNotRunning);
    return;
  }
  Trace(texts::kServiceRunning);
  Trace("Service=" + service->ModulePath());
  if (!service->StillActive()) {
    Trace(core::Format("Terminate Error=%d", kProcessAborted));
    return;
  }
  const int request = service->RequestExit(kServiceExitCode);
  if (request == 0 && service->WaitForEnd(kExitWaitMs)) return;
  Trace(core::Format("ExitProcess request=%d, still running: TerminateProcess", request));
  const int terminated = service->Terminate(kServiceExitCode);
  if (terminated != 0 || !service->WaitForEnd(kTerminateWaitMs))
    Trace(core::Format("Terminate Error=%d", terminated));
}

void UninstallerDialog::RunServiceUninstall() {
  SearchMachineThenUser(platform_, kUninstallKey, kServiceEntryPrefix);
}

// Deleted whatever it names: a value pointing elsewhere is this product's too.
void UninstallerDialog::DeleteAutostartValue() {
  std::unique_ptr<platform::RegistryKey> key;
  if (platform_.registry->OpenKey(kRunKey, platform::kKeyAllAccess, kView64, key) !=
          platform::kRegOk ||
      !key) {
    Trace(texts::kRegisterOpenError);
    return;
  }
  // Read at the value's own size: a value too long for a fixed buffer would
  // otherwise be left behind.
  uint32_t size = 0;
  std::string value;
  if (key->QueryValueSize(kRunValueName, size) != platform::kRegOk ||
      key->QueryValue(kRunValueName, size + 1, value) != platform::kRegOk) {
    Trace(texts::kRegisterReadError);
    return;
  }
  Trace(texts::kRegisterReadSuccess);
  Trace(value.c_str());
  std::unique_ptr<platform::RegistryKey> writable;
  int result = platform_.registry->OpenKey(kRunKey, platform::kKeyWrite, kView64, writable);
  if (result == platform::kRegOk && writable) result = writable->DeleteValue(kRunValueName);
  Trace(core::Format("reg=%d ERROR_SUCCESS=%d", result, platform::kRegOk));
}

std::string UninstallerDialog::ProgramDirectory() {
  const std::string module = platform_.files->ModuleFileName();
  const size_t cut = module.rfind(platform_.files->PathSeparator());
  return cut == std::string::npos ? std::string() : module.substr(0, cut);
}

// A read-only file is made writable first, or it would stay behind.
void UninstallerDialog::DeleteFileBeside(const std::string& name) {
  platform::Files& files = *platform_.files;
  const std::string path = ProgramDirectory() + files.PathSeparator() + name;
  if (!files.FileExists(path) || files.RemoveFile(path)) return;
  if (files.ClearReadOnly(path) && files.RemoveFile(path)) return;
  Trace("DeleteFile Error " + path);
}

void UninstallerDialog::DeleteSettingsFiles() {
  DeleteFileBeside(kSettingsFile);
  DeleteFileBeside(kPortListsFile);
  DeleteJournal();
}

// Receipts are customers' data: nothing of the journal stays behind.
void UninstallerDialog::DeleteJournal() {
  platform::DurableFiles* durable = platform_.durableFiles;
  if (!durable) return;
  const char separator = platform_.files->PathSeparator();
  const std::string folder = ProgramDirectory() + separator + kJournalFolder;
  std::vector<platform::DirectoryEntry> entries;
  if (durable->ListFiles(folder, entries) != 0) return;  // none there
  for (const platform::DirectoryEntry& entry : entries) {
    if (durable->Remove(folder + separator + entry.name) != 0)
      Trace("DeleteFile Error " + folder + separator + entry.name);
  }
  if (durable->RemoveFolder(folder) != 0) Trace("RemoveFolder Error " + folder);
}

void UninstallerDialog::RemoveDriver() {
  platform::OsVersion version;
  platform_.processes->QueryOsVersion(version);
  architecture_ = ArchitectureOf(platform_.processes->ProcessorArchitecture(), architecture_);
  SearchMachineThenUser(platform_, DriverUninstallKey(architecture_), kDriverEntryPrefix);
}

}  // namespace uninstaller
