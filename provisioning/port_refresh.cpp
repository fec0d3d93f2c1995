// The port refresh (see port_refresh.h).
#include "provisioning/port_refresh.h"

#include <string>

#include "core/controls.h"
#include "core/format.h"
#include "provisioning/pair_discovery.h"

namespace provisioning {
namespace {

namespace controls = core::controls;

// What the installation check found. The two failures are the messages
// marked [1] and [2].
enum class InstallationCheck {
  kPassed,
  // [1] Both ends agree, but on neither the new count nor the old one.
  kUnexpectedPairCount,
  // [2] The application ends and the relay ends still differ after two rescans.
  kEndsDisagree,
};

// The pair ends one scan counted.
struct PairCounts {
  int applicationEnds = 0;
  int relayEnds = 0;
  bool Agree() const { return applicationEnds == relayEnds; }
  bool BothAre(int n) const { return applicationEnds == n && relayEnds == n; }
};

void Sleep(core::RelayService& service, uint32_t ms) { service.platform().clock->SleepMs(ms); }

void ClearPairLists(core::ServiceView& view) {
  view.ClearList(controls::kRelayPortList);
  view.ClearList(controls::kAppPortList);
  view.ClearList(controls::kAllVirtualList);
}

PairCounts Scan(core::RelayService& service) {
  PairCounts counts;
  counts.applicationEnds = ScanApplicationPorts(service);
  counts.relayEnds = WriteRelayPortList(service);
  return counts;
}

// Every scan starts from empty lists, so no list gains a second copy of a
// name however often the ports are refreshed.
PairCounts Rescan(core::RelayService& service) {
  ClearPairLists(service.view());
  return Scan(service);
}

// PortLists.ini is deleted so that the next start rebuilds it from the
// registry; the message names the file only when it could not be deleted.
void ReportFailure(core::RelayService& service, const core::Text& deleted,
                   const core::Text& notDeleted) {
  const std::string& file = service.settings().portListsPath;
  std::string text;
  if (service.platform().files->RemoveFile(file)) {
    text = service.Say(deleted);
  } else {
    text = core::FormatText(service.Say(notDeleted).c_str(), file.c_str());
    if (text.size() > kMessageBufferSize - 1) text.resize(kMessageBufferSize - 1);
  }
  service.ShowPrinterMessage(text, core::kStatusError);
  service.view().PostClose();
}

// Did the installation leave a new, consistent pair? `prev` is 1 when a relay
// port was open before; `counts` are the last scan's and follow every rescan.
InstallationCheck CheckInstallation(core::RelayService& service, int prev, PairCounts& counts) {
  const int expected = prev + 1;
  Sleep(service, kInstallSettleMs);

  if (!counts.Agree()) {
    counts = Rescan(service);
    if (counts.Agree()) return InstallationCheck::kPassed;
    Sleep(service, kInstallSettleMs);
    counts = Rescan(service);
    return counts.Agree() ? InstallationCheck::kPassed : InstallationCheck::kEndsDisagree;
  }

  if (counts.applicationEnds == expected) return InstallationCheck::kPassed;
  counts = Rescan(service);
  if (counts.BothAre(expected)) return InstallationCheck::kPassed;
  Sleep(service, kInstallSettleMs);
  counts = Rescan(service);
  if (counts.BothAre(expected)) return InstallationCheck::kPassed;
  if (counts.BothAre(prev)) {
    // Nothing changed: the set-up is still running or was cancelled. The
    // user says when it is over; whatever is there then is taken.
    service.ShowPrinterMessage(service.Say(core::texts::kInstallNotice), core::kStatusError);
    Sleep(service, kNoticeSettleMs);
    counts = Rescan(service);
    return InstallationCheck::kPassed;
  }
  return InstallationCheck::kUnexpectedPairCount;
}

void ReportCheck(core::RelayService& service, InstallationCheck check) {
  switch (check) {
    case InstallationCheck::kPassed:
      break;
    case InstallationCheck::kUnexpectedPairCount:
      ReportFailure(service, core::texts::kAddError1, core::texts::kAddError1File);
      break;
    case InstallationCheck::kEndsDisagree:
      ReportFailure(service, core::texts::kAddError2, core::texts::kAddError2File);
      break;
  }
}

}  // namespace

void ReopenRelayPort(core::RelayService& service, bool withProgress) {
  core::VirtualPortTable& ports = service.ports();
  core::ServiceView& view = service.view();
  ports.count = 0;
  ports.ClearNames();

  const core::RelayPortEntry entry = service.ReadRelayPort();
  const std::string& name = entry.name;
  if (!name.empty()) {
    if (entry.isCom) {
      view.AddListEntry(controls::kRelayPortList, name);
      std::string whyNot;
      auto port = core::OpenRelayPort(service.platform(), core::RelayDevicePath(name), &whyNot);
      ports.handles[0] = port;
      // The worker's log lines name the port it serves.
      ports.SetName(0, name);
      if (!port) {
        service.log().WriteLog(core::kLogError, "%s", core::RelayPortFailure(name, whyNot).c_str());
        ReportFailure(service, core::texts::kOpenError, core::texts::kOpenErrorFile);
      }
      ++ports.count;
    }
    if (withProgress) view.SetProgress(70);
    Sleep(service, kAfterOpenPauseMs);
  }

  view.SetControlText(controls::kPortCountEdit, core::Format("%d", ports.count));
  if (withProgress) view.SetProgress(80);
  service.worker().Start();
}

void RefreshPorts(core::RelayService& service, ProvisioningState& state) {
  core::ServiceView& view = service.view();
  core::Log& log = service.log();
  core::StopFlag& stop = service.stopFlag();

  log.WriteLog(core::kLogChange, "Start refresh the port");
  view.ShowProgress(true);
  view.SetWaitCursor(true);
  view.SelectComboPrefix(controls::kPrinterPortCombo, service.settings().port);
  view.SetProgress(10);

  // The pair installation has stopped the worker already (the flag is 1).
  if (stop.load() == 0) {
    stop = 1;
    Sleep(service, kStopPauseMs);
    view.SetProgress(20);
    service.worker().WaitEnded();
  }

  view.SetProgress(30);
  int prev = 0;
  if (service.ReadRelayPort().isCom) {
    service.CloseRelayPortSlot(0);
    prev = 1;
  }

  view.SetProgress(40);
  ClearPairLists(view);
  view.SetProgress(50);
  PairCounts counts = Scan(service);
  if (state.addingMode == 1) ReportCheck(service, CheckInstallation(service, prev, counts));
  state.applicationEndCount = counts.applicationEnds;
  state.relayEndCount = counts.relayEnds;

  view.SetProgress(60);
  stop = 0;
  Sleep(service, kReopenPauseMs);
  ReopenRelayPort(service, true);
  view.SetProgress(100);
  view.ShowProgress(false);
  view.SetWaitCursor(false);

  service.ShowPrinterMessage(service.Say(core::texts::kChangesDone), core::kStatusNormal);
  view.RestoreFromTray();
  log.WriteLog(core::kLogChange, "End refresh the port");
}

}  // namespace provisioning
