// ServiceDialog: construction and the start-up order of the relay service.
#include "core/service_dialog.h"

#include <cstring>

#include "core/controls.h"
#include "core/format.h"
#include "provisioning/autostart.h"
#include "provisioning/pair_discovery.h"
#include "provisioning/pair_installation.h"
#include "provisioning/port_enumeration.h"

namespace core {

ServiceDialog::ServiceDialog(platform::Platform& platform, ServiceView& view, Prompt& prompt,
                             links::PrinterLink& link)
    : platform_(platform),
      view_(view),
      prompt_(prompt),
      link_(link),
      directory_(*platform.files),
      log_(platform, directory_, settings_.logFileOn),
      worker_(*this, link) {}

ServiceDialog::~ServiceDialog() { stopFlag_ = 1; }

int ServiceDialog::OnInitDialog() {
  codePage_ = platform_.system->AnsiCodePage();
  view_.InitControls(codePage_);
  LoadSettingsStep();
  FillPrinterPortChoices();

  if (!ConnectPrinter()) return -1;
  if (quitting_) return -1;

  CheckInstallationPath();
  PreparePortList();
  OpenVirtualPorts();
  ReportPortCount();
  FillPortLists();
  worker_.Start();

  view_.HideToTray();
  view_.CreateTooltips(codePage_);
  if (noVirtualPort_ && !quitting_) provisioning::InstallPortPair(*this);
  return 1;
}

void ServiceDialog::Shutdown() {
  if (worker_.running()) {
    stopFlag_ = 1;
    worker_.WaitEnded();
  }
  link_.SetReplyPort(nullptr);
  link_.CloseLink();
  for (auto& handle : ports_.handles) CloseRelayPort(handle);
}

void ServiceDialog::CloseRelayPortSlot(int slot) {
  if (slot < 0 || slot >= VirtualPortTable::kSlots) return;
  link_.SetReplyPort(nullptr);
  CloseRelayPort(ports_.handles[static_cast<size_t>(slot)]);
}

// Nothing can be logged before this step: the log flag comes from the file.
void ServiceDialog::LoadSettingsStep() {
  LoadSettings(settings_, directory_, *platform_.files, *platform_.profile);
}

// The printer port combo box: "USB", the system's COM ports that are not the
// virtual pair's, the LPT ports, "TCP/IP"; then the configured port selected.
void ServiceDialog::FillPrinterPortChoices() {
  comPorts_.Clear();
  view_.AddListEntry(controls::kPrinterPortCombo, "USB");
  provisioning::EnumerateComPorts(*this);
  provisioning::ExcludePairPorts(*this);
  for (int i = 0; i < comPorts_.count && i < SystemPortTable::kEntries; ++i) {
    const char* name = comPorts_.names[static_cast<size_t>(i)].data();
    if (std::strlen(name) > 1) view_.AddListEntry(controls::kPrinterPortCombo, name);
  }
  provisioning::ListLptPorts(*this);
  view_.AddListEntry(controls::kPrinterPortCombo, "TCP/IP");
  view_.SelectComboPrefix(controls::kPrinterPortCombo, settings_.port);
}

int ServiceDialog::OpenPrinterAsConfigured() {
  if (settings_.port == "TCP/IP") return link_.OpenLink(settings_.ip, kTcpPrinterPort);
  return link_.OpenLink(settings_.port, settings_.baudRate);
}

// The first attempt goes to "USB" unless the printer is a network one; the
// retries use the settings. Five failures end the program.
bool ServiceDialog::ConnectPrinter() {
  log_.WriteLog(kLogDebug, "Start OpenPort");
  stopFlag_ = 0;

  int result = settings_.port == "TCP/IP" ? link_.OpenLink(settings_.ip, kTcpPrinterPort)
                                          : link_.OpenLink("USB", 0);
  for (int n = 1; result != 0; ++n) {
    if (quitting_) return false;
    ShowPrinterMessage(FormatText(Say(texts::kConnectionFailedTimes).c_str(), n), kStatusError);
    if (n == kConnectionAttempts) {
      view_.PostClose();
      return false;
    }
    result = OpenPrinterAsConfigured();
  }

  if (!settings_.realtimeOn) link_.CloseLink();
  log_.WriteLog(kLogDebug, "End OpenPort");
  return true;
}

// The autostart value also tells whether the program runs where it was
// installed; a moved program says so and closes once start-up is over.
void ServiceDialog::CheckInstallationPath() {
  switch (provisioning::CheckAutostart(*this)) {
    case provisioning::kAutostartHere:
      break;
    case provisioning::kAutostartElsewhere:
      ShowPrinterMessage(Say(texts::kPathChanged), kStatusError);
      view_.PostClose();
      break;
    default:
      provisioning::RegisterAutostart(*this);
      break;
  }
}

// A missing PortLists.ini is rebuilt from the virtual pair.
void ServiceDialog::PreparePortList() {
  ports_.count = 0;
  if (!provisioning::FileExists(*platform_.files, settings_.portListsPath))
    provisioning::WriteRelayPortList(*this);
  ports_.ClearNames();
}

// Only Port1 of PortLists.ini is read; a name that is not a COM name is skipped.
// A port whose open failed still counts, with a null handle.
void ServiceDialog::OpenVirtualPorts() {
  const std::string name =
      ReadSetting(*platform_.profile, kPortsSection, "Port1", settings_.portListsPath);
  if (name.empty() || name.compare(0, 3, "COM") != 0) return;

  std::shared_ptr<platform::SerialPort> port = OpenRelayPort(platform_, RelayDevicePath(name));
  ports_.handles[static_cast<size_t>(ports_.count)] = port;
  log_.WriteLog(kLogDebug, port ? "%s open success" : "%s open failed", name.c_str());
  view_.AddListEntry(controls::kRelayPortList, name);
  ports_.SetName(ports_.count, name);
  ++ports_.count;
}

void ServiceDialog::FillPortLists() {
  provisioning::ListAllComPorts(*this);
  provisioning::ListPairPorts(*this);
}

void ServiceDialog::ReportPortCount() {
  view_.SetControlText(controls::kPortCountEdit, Format("%d", ports_.count));
  if (ports_.count == 0) {
    ShowPrinterMessage(Say(texts::kNotConfigured), kStatusError);
    noVirtualPort_ = 1;
  }
}

int ServiceDialog::ShowPrinterMessage(const std::string& text, int kind,
                                      const std::atomic<int>* dismiss) {
  std::string shown;
  if (settings_.port == "TCP/IP") {
    shown = FormatText(Say(texts::kPortPrefixTcp).c_str(), settings_.port.c_str(),
                       settings_.ip.c_str(), text.c_str());
  } else {
    shown = FormatText(Say(texts::kPortPrefix).c_str(), settings_.port.c_str(), text.c_str());
  }
  log_.WriteLog(kLogError, "%s", shown.c_str());
  return prompt_.Show(shown, kind, dismiss);
}

}  // namespace core
