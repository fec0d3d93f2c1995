// The port refresh (see port_refresh.h).
#include "provisioning/port_refresh.h"

#include <string>

#include "core/controls.h"
#include "core/format.h"
#include "provisioning/pair_discovery.h"

namespace provisioning {
namespace {

namespace controls = core::controls;

std::string ReadPort1(core::ServiceDialog& dialog) {
  return core::ReadSetting(*dialog.platform().profile, core::kPortsSection, "Port1",
                           dialog.settings().portListsPath);
}

bool IsComName(const std::string& name) { return name.compare(0, 3, "COM") == 0; }

void Sleep(core::ServiceDialog& dialog, uint32_t ms) { dialog.platform().clock->SleepMs(ms); }

// Every scan starts from empty lists, so no list gains a second copy of a
// name however often the ports are refreshed.
void Rescan(core::ServiceDialog& dialog) {
  core::ServiceView& view = dialog.view();
  view.ClearList(controls::kRelayPortList);
  view.ClearList(controls::kAppPortList);
  view.ClearList(controls::kAllVirtualList);
  ScanApplicationPorts(dialog);
  WriteRelayPortList(dialog);
}

// PortLists.ini is deleted so that the next start rebuilds it from the
// registry; the message names the file only when it could not be deleted.
void ReportFailure(core::ServiceDialog& dialog, const core::Text& deleted,
                   const core::Text& notDeleted) {
  const std::string& file = dialog.settings().portListsPath;
  std::string text;
  if (dialog.platform().files->RemoveFile(file)) {
    text = dialog.Say(deleted);
  } else {
    text = core::FormatText(dialog.Say(notDeleted).c_str(), file.c_str());
    if (text.size() > kMessageBufferSize - 1) text.resize(kMessageBufferSize - 1);
  }
  dialog.ShowPrinterMessage(text, core::kStatusError);
  dialog.view().PostClose();
}

enum CheckResult { kCheckPassed, kCheckError1, kCheckError2 };

// Did the installation leave a new, consistent pair? `prev` is 1 when a relay
// port was open before.
CheckResult CheckInstallation(core::ServiceDialog& dialog, int prev) {
  const int expected = prev + 1;
  int& a = dialog.applicationEndCount();
  int& b = dialog.relayEndCount();
  Sleep(dialog, kInstallSettleMs);

  if (a != b) {
    Rescan(dialog);
    if (a == b) return kCheckPassed;
    Sleep(dialog, kInstallSettleMs);
    Rescan(dialog);
    return a == b ? kCheckPassed : kCheckError2;
  }

  if (a == expected) return kCheckPassed;
  Rescan(dialog);
  if (a == b && a == expected) return kCheckPassed;
  Sleep(dialog, kInstallSettleMs);
  Rescan(dialog);
  if (a == b && a == expected) return kCheckPassed;
  if (a == b && a == prev) {
    // Nothing changed: the set-up is still running or was cancelled. The
    // user says when it is over; whatever is there then is taken.
    dialog.ShowPrinterMessage(dialog.Say(core::texts::kInstallNotice), core::kStatusError);
    Sleep(dialog, kNoticeSettleMs);
    Rescan(dialog);
    return kCheckPassed;
  }
  return kCheckError1;
}

}  // namespace

void ReopenRelayPort(core::ServiceDialog& dialog, bool withProgress) {
  core::VirtualPortTable& ports = dialog.ports();
  core::ServiceView& view = dialog.view();
  ports.count = 0;
  ports.ClearNames();

  const std::string name = ReadPort1(dialog);
  if (!name.empty()) {
    if (IsComName(name)) {
      view.AddListEntry(controls::kRelayPortList, name);
      auto port = core::OpenRelayPort(dialog.platform(), core::RelayDevicePath(name));
      ports.handles[0] = port;
      // The worker's log lines name the port it serves.
      ports.SetName(0, name);
      if (!port) ReportFailure(dialog, core::texts::kOpenError, core::texts::kOpenErrorFile);
      ++ports.count;
    }
    if (withProgress) view.SetProgress(70);
    Sleep(dialog, kAfterOpenPauseMs);
  }

  view.SetControlText(controls::kPortCountEdit, core::Format("%d", ports.count));
  if (withProgress) view.SetProgress(80);
  dialog.worker().Start();
}

void RefreshPorts(core::ServiceDialog& dialog) {
  core::ServiceView& view = dialog.view();
  core::Log& log = dialog.log();
  std::atomic<int>& stop = dialog.stopFlag();

  log.WriteLog(core::kLogChange, "Start refresh the port");
  view.ShowProgress(true);
  view.SetWaitCursor(true);
  view.SelectComboPrefix(controls::kPrinterPortCombo, dialog.settings().port);
  view.SetProgress(10);

  // The pair installation has stopped the worker already (the flag is 1).
  if (stop.load() == 0) {
    stop = 1;
    Sleep(dialog, kStopPauseMs);
    view.SetProgress(20);
    dialog.worker().WaitEnded();
  }

  view.SetProgress(30);
  int prev = 0;
  if (IsComName(ReadPort1(dialog))) {
    dialog.CloseRelayPortSlot(0);
    prev = 1;
  }

  view.SetProgress(40);
  view.ClearList(controls::kRelayPortList);
  view.ClearList(controls::kAppPortList);
  view.ClearList(controls::kAllVirtualList);
  view.SetProgress(50);
  ScanApplicationPorts(dialog);
  WriteRelayPortList(dialog);

  if (dialog.addingMode() == 1) {
    switch (CheckInstallation(dialog, prev)) {
      case kCheckPassed:
        break;
      case kCheckError1:
        ReportFailure(dialog, core::texts::kAddError1, core::texts::kAddError1File);
        break;
      case kCheckError2:
        ReportFailure(dialog, core::texts::kAddError2, core::texts::kAddError2File);
        break;
    }
  }

  view.SetProgress(60);
  stop = 0;
  Sleep(dialog, kReopenPauseMs);
  ReopenRelayPort(dialog, true);
  view.SetProgress(100);
  view.ShowProgress(false);
  view.SetWaitCursor(false);

  dialog.ShowPrinterMessage(dialog.Say(core::texts::kChangesDone), core::kStatusNormal);
  view.RestoreFromTray();
  log.WriteLog(core::kLogChange, "End refresh the port");
}

}  // namespace provisioning
