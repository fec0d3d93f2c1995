// ServiceDialog: the start-up order of the relay service and the window's
// commands.
#include "app/service_dialog.h"

#include <cstring>
#include <memory>

#include "app/port_check.h"
#include "app/settings_edit.h"
#include "core/controls.h"
#include "core/format.h"
#include "provisioning/autostart.h"
#include "provisioning/pair_discovery.h"
#include "provisioning/pair_installation.h"

namespace app {
namespace {

namespace controls = core::controls;

struct BusyScope {
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  bool& flag_;
};

}  // namespace

ServiceDialog::ServiceDialog(platform::Platform& platform, core::ServiceView& view,
                             core::Prompt& prompt, links::PrinterLink& link)
    : service_(platform, view, prompt, link) {}

int ServiceDialog::OnInitDialog() {
  core::ServiceView& view = service_.view();
  view.InitControls(service_.LoadCodePage());
  service_.LoadSettings();
  service_.OpenJournal();
  FillPrinterPortChoices();

  if (!ConnectPrinter()) return -1;
  if (quitting_) return -1;

  CheckInstallationPath();
  PreparePortList();
  OpenVirtualPorts();
  ReportPortCount();
  FillPortLists();
  service_.worker().Start();

  view.HideToTray();
  view.CreateTooltips(service_.codePage());
  if (noVirtualPort_ && !quitting_) {
    // The window answers clicks while the installation waits for the worker:
    // a second installation started there would never let this one end.
    BusyScope busy(busy_);
    provisioning::InstallPortPair(service_, provisioning_);
  }
  return 1;
}

void ServiceDialog::AddPort() {
  if (busy_) return;
  // The pair is added from the tray, like the window that shows it.
  service_.view().HideToTray();
  BusyScope busy(busy_);
  provisioning::InstallPortPair(service_, provisioning_);
}

void ServiceDialog::InstallPair() {
  if (busy_) return;
  BusyScope busy(busy_);
  provisioning::InstallPortPair(service_, provisioning_);
}

void ServiceDialog::RunSetupc() {
  if (busy_) return;
  BusyScope busy(busy_);
  provisioning::RunSetupCommands(service_);
}

void ServiceDialog::EditSettings() {
  if (busy_ || !settingsForm_) return;
  BusyScope busy(busy_);
  RunEditSettings(service_, provisioning_, *settingsForm_);
}

void ServiceDialog::PortCheckPrint() {
  if (busy_) return;
  BusyScope busy(busy_);
  app::PortCheckPrint(service_, service_.view().ListEntry(controls::kAppPortList, 0));
}

void ServiceDialog::DeveloperImagePrint() {
  if (busy_) return;
  BusyScope busy(busy_);
  app::DeveloperImagePrint(service_, service_.view().SelectedListEntry(controls::kAppPortList));
}

// The printer port combo box: "USB", the system's COM ports that are not the
// virtual pair's, the LPT ports, "TCP/IP"; then the configured port selected.
void ServiceDialog::FillPrinterPortChoices() {
  platform::Platform& platform = service_.platform();
  core::ServiceView& view = service_.view();
  comPorts_.Clear();
  view.AddListEntry(controls::kPrinterPortCombo, "USB");
  provisioning::EnumerateComPorts(*platform.portEnumerator, comPorts_);
  provisioning::ExcludePairPorts(*platform.registry, comPorts_);
  for (int i = 0; i < comPorts_.count && i < provisioning::SystemPortTable::kEntries; ++i) {
    const char* name = comPorts_.names[static_cast<size_t>(i)].data();
    if (std::strlen(name) > 1) view.AddListEntry(controls::kPrinterPortCombo, name);
  }
  provisioning::ListLptPorts(service_);
  view.AddListEntry(controls::kPrinterPortCombo, "TCP/IP");
  view.SelectComboPrefix(controls::kPrinterPortCombo, service_.settings().port);
}

// The first attempt goes to "USB" unless the printer is a network one; the
// retries use the settings. Five failures end the program.
bool ServiceDialog::ConnectPrinter() {
  core::RelaySettings& settings = service_.settings();
  links::PrinterLink& link = service_.link();
  service_.log().WriteLog(core::kLogDebug, "Start OpenPort");
  service_.stopFlag() = 0;

  const bool network = settings.port == "TCP/IP";
  int result = network ? link.OpenLink(settings.ip, core::RelayService::kTcpPrinterPort)
                       : link.OpenLink("USB", 0);
  for (int n = 1; result != links::kOpened; ++n) {
    if (quitting_) return false;
    if (n == 1 && !network) {
      service_.log().WriteLog(core::kLogError, "USB: %s", link.FailureCause().c_str());
    } else {
      service_.LogPrinterFailure();
    }
    service_.ShowPrinterMessage(
        core::FormatText(service_.Say(core::texts::kConnectionFailedTimes).c_str(), n),
        core::kStatusError);
    if (n == kConnectionAttempts) {
      service_.view().PostClose();
      return false;
    }
    result = service_.OpenPrinterAsConfigured();
  }

  if (!settings.realtimeOn) link.CloseLink();
  service_.log().WriteLog(core::kLogDebug, "End OpenPort");
  return true;
}

// The autostart value also tells whether the program runs where it was
// installed; a moved program says so and closes once start-up is over.
void ServiceDialog::CheckInstallationPath() {
  switch (provisioning::CheckAutostart(service_)) {
    case provisioning::kAutostartHere:
      break;
    case provisioning::kAutostartElsewhere:
      service_.ShowPrinterMessage(service_.Say(core::texts::kPathChanged), core::kStatusError);
      service_.view().PostClose();
      break;
    default:
      provisioning::RegisterAutostart(service_);
      break;
  }
}

// A missing PortLists.ini is rebuilt from the virtual pair.
void ServiceDialog::PreparePortList() {
  core::VirtualPortTable& ports = service_.ports();
  ports.count = 0;
  if (!provisioning::FileExists(*service_.platform().files, service_.settings().portListsPath))
    provisioning_.relayEndCount = provisioning::WriteRelayPortList(service_);
  ports.ClearNames();
}

// Only Port1 of PortLists.ini is read; a name that is not a COM name is skipped.
// A port whose open failed still counts, with a null handle.
void ServiceDialog::OpenVirtualPorts() {
  const core::RelayPortEntry entry = service_.ReadRelayPort();
  if (!entry.isCom) return;
  const std::string& name = entry.name;

  core::VirtualPortTable& ports = service_.ports();
  std::string whyNot;
  std::shared_ptr<platform::SerialPort> port =
      core::OpenRelayPort(service_.platform(), core::RelayDevicePath(name), &whyNot);
  ports.handles[static_cast<size_t>(ports.count)] = port;
  service_.log().WriteLog(core::kLogDebug, port ? "%s open success" : "%s open failed",
                          name.c_str());
  // Without its relay port the relay does nothing: the user must hear why.
  if (!port) {
    const std::string failure = core::RelayPortFailure(name, whyNot);
    service_.log().WriteLog(core::kLogError, "%s", failure.c_str());
    service_.view().Notify(failure);
  }
  service_.view().AddListEntry(controls::kRelayPortList, name);
  ports.SetName(ports.count, name);
  ++ports.count;
}

void ServiceDialog::ReportPortCount() {
  const int count = service_.ports().count;
  service_.view().SetControlText(controls::kPortCountEdit, core::Format("%d", count));
  if (count == 0) {
    service_.ShowPrinterMessage(service_.Say(core::texts::kNotConfigured), core::kStatusError);
    noVirtualPort_ = 1;
  }
}

void ServiceDialog::FillPortLists() {
  provisioning::ListAllComPorts(service_);
  provisioning::ListPairPorts(service_);
}

}  // namespace app
