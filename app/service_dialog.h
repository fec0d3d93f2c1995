// ServiceDialog: the relay service's main window object. It owns the core
// service and the provisioning state, runs the start-up order when the
// window initialises, and carries out what the window's buttons ask for.
// The window itself is a view (core::ServiceView); pop-ups go through the
// Prompt; the printer is reached through a PrinterLink.
#pragma once

#include <atomic>

#include "app/service_commands.h"
#include "app/settings_form.h"
#include "core/relay_service.h"
#include "provisioning/port_enumeration.h"
#include "provisioning/provisioning_state.h"

namespace app {

class ServiceDialog : public ServiceCommands {
 public:
  static constexpr int kConnectionAttempts = 5;

  ServiceDialog(platform::Platform& platform, core::ServiceView& view, core::Prompt& prompt,
                links::PrinterLink& link);
  ServiceDialog(const ServiceDialog&) = delete;
  ServiceDialog& operator=(const ServiceDialog&) = delete;

  // The window's initialisation: the start-up order. Returns 1 normally and
  // -1 when start-up gave up (a close request has then been posted).
  int OnInitDialog();
  // Orderly end of a headless run: stops the worker, closes ports and link.
  void Shutdown() { service_.Shutdown(); }
  // Asked from another thread (a termination signal of the headless build):
  // start-up stops retrying the printer and ends without a close request.
  void RequestQuit() { quitting_ = true; }

  // A second command while one still runs (the installation keeps the window
  // responsive while it waits for the worker) does nothing.
  void AddPort() override;
  void InstallPair() override;
  void RunSetupc() override;
  // The settings dialog; nothing happens until the program has given one.
  void EditSettings() override;
  // The test page through the application port (entry 0 of list 1004).
  void PortCheckPrint() override;
  // The banner through the application port selected in list 1004.
  void DeveloperImagePrint() override;
  // The program's settings dialog (it must outlive this object's use of it).
  void SetSettingsForm(SettingsForm* form) { settingsForm_ = form; }

  core::RelayService& service() { return service_; }
  provisioning::ProvisioningState& provisioning() { return provisioning_; }
  provisioning::SystemPortTable& comPorts() { return comPorts_; }
  int noVirtualPort() const { return noVirtualPort_; }

 private:
  // Start-up steps, in the order they run.
  void FillPrinterPortChoices();
  bool ConnectPrinter();
  void CheckInstallationPath();
  void PreparePortList();
  void OpenVirtualPorts();
  void ReportPortCount();
  void FillPortLists();

  core::RelayService service_;
  provisioning::ProvisioningState provisioning_;
  provisioning::SystemPortTable comPorts_;
  int noVirtualPort_ = 0;
  std::atomic<bool> quitting_{false};
  bool busy_ = false;
  SettingsForm* settingsForm_ = nullptr;
};

}  // namespace app
