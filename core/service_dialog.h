// ServiceDialog: the relay service's main window object. It owns all run-time
// state of the service and runs the start-up order when the window
// initialises. The window itself is a view (ServiceView); pop-ups go through
// the Prompt; the printer is reached through a PrinterLink.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "core/log.h"
#include "core/prompt.h"
#include "core/relay_worker.h"
#include "core/service_view.h"
#include "core/settings.h"
#include "core/texts.h"
#include "core/virtual_ports.h"
#include "links/printer_link.h"
#include "platform/platform.h"

namespace core {

// The system's COM ports found at start-up: 256 names of at most 31 characters.
struct SystemPortTable {
  static constexpr int kEntries = 256;
  static constexpr std::size_t kNameSize = 32;
  std::array<std::array<char, kNameSize>, kEntries> names{};
  int count = 0;

  void Clear() {
    for (auto& name : names) name.fill('\0');
    count = 0;
  }
};

class ServiceDialog {
 public:
  static constexpr int kConnectionAttempts = 5;
  static constexpr int kTcpPrinterPort = 9100;

  ServiceDialog(platform::Platform& platform, ServiceView& view, Prompt& prompt,
                links::PrinterLink& link);
  ~ServiceDialog();
  ServiceDialog(const ServiceDialog&) = delete;
  ServiceDialog& operator=(const ServiceDialog&) = delete;

  // The window's initialisation: the start-up order. Returns 1 normally and
  // -1 when start-up gave up (a close request has then been posted).
  int OnInitDialog();
  // Orderly end of a headless run: stops the worker, closes ports and link.
  void Shutdown();
  // Asked from another thread (a termination signal of the headless build):
  // start-up stops retrying the printer and ends without a close request.
  void RequestQuit() { quitting_ = true; }

  // Prefixes the text with the printer port, logs it at Error level and shows
  // the status pop-up; returns 1 (OK) or 2 (Cancel). `dismiss` as for Prompt.
  int ShowPrinterMessage(const std::string& text, int kind,
                         const std::atomic<int>* dismiss = nullptr);
  // Opens the printer link the way the settings say: the IP address and port
  // 9100 for "TCP/IP", otherwise the port name and the baud rate number.
  int OpenPrinterAsConfigured();

  // The text for the window's code page, in the ANSI code page.
  std::string Say(const Text& text) { return Pick(*platform_.system, codePage_, text); }

  platform::Platform& platform() { return platform_; }
  ServiceView& view() { return view_; }
  links::PrinterLink& link() { return link_; }
  RelaySettings& settings() { return settings_; }
  Log& log() { return log_; }
  ProgramDirectory& programDirectory() { return directory_; }
  unsigned codePage() const { return codePage_; }
  std::atomic<int>& stopFlag() { return stopFlag_; }
  SystemPortTable& comPorts() { return comPorts_; }
  VirtualPortTable& ports() { return ports_; }
  RelayWorker& worker() { return worker_; }
  int noVirtualPort() const { return noVirtualPort_; }

  // Virtual port provisioning (provisioning/): the adding-mode flag of the
  // port refresh, the architecture code of the pair installation (-1 until
  // detected), and the pair ends counted by the last scan.
  int& addingMode() { return addingMode_; }
  int& architecture() { return architecture_; }
  int& applicationEndCount() { return applicationEndCount_; }
  int& relayEndCount() { return relayEndCount_; }
  // Closes the relay end in the slot. The printer link lets go of it as well
  // (it may hold it as its reply port), so the device is really closed and
  // can be opened again.
  void CloseRelayPortSlot(int slot);

 private:
  // Start-up steps, in the order they run.
  void LoadSettingsStep();
  void FillPrinterPortChoices();
  bool ConnectPrinter();
  void CheckInstallationPath();
  void PreparePortList();
  void OpenVirtualPorts();
  void ReportPortCount();
  void FillPortLists();

  platform::Platform& platform_;
  ServiceView& view_;
  Prompt& prompt_;
  links::PrinterLink& link_;
  ProgramDirectory directory_;
  RelaySettings settings_;
  Log log_;
  unsigned codePage_ = 0;
  std::atomic<int> stopFlag_{0};
  SystemPortTable comPorts_;
  VirtualPortTable ports_;
  int noVirtualPort_ = 0;
  std::atomic<bool> quitting_{false};
  int addingMode_ = 0;
  int architecture_ = -1;
  int applicationEndCount_ = 0;
  int relayEndCount_ = 0;
  RelayWorker worker_;
};

}  // namespace core
