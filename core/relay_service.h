// RelayService: the relay's run-time state and the operations the worker, the
// status check and provisioning share: the settings, the log, the relay ends,
// the worker with its stop flag, the printer link, the main window as a view
// and the pop-ups. The start-up order that fills it runs above this layer
// (app/service_dialog.h), so nothing here knows about provisioning.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "core/journal.h"
#include "core/log.h"
#include "core/prompt.h"
#include "core/relay_worker.h"
#include "core/service_view.h"
#include "core/settings.h"
#include "core/stop_flag.h"
#include "core/texts.h"
#include "core/virtual_ports.h"
#include "links/printer_link.h"
#include "platform/platform.h"

namespace core {

class RelayService {
 public:
  static constexpr int kTcpPrinterPort = 9100;

  RelayService(platform::Platform& platform, ServiceView& view, Prompt& prompt,
               links::PrinterLink& link);
  ~RelayService();
  RelayService(const RelayService&) = delete;
  RelayService& operator=(const RelayService&) = delete;

  // Reads the system's ANSI code page once; Say picks the texts by it.
  unsigned LoadCodePage();
  // Loads Settings.ini (creating it with the defaults) into the settings.
  void LoadSettings();
  // Opens the job journal in Journal/ beside the program, once, as the
  // settings say (Journal=NO: off, with one log line). Without durable files
  // (some tests) there is none.
  void OpenJournal();
  // Orderly end: stops the worker, closes the relay ends, the link and the
  // journal.
  void Shutdown();

  // Prefixes the text with the printer port, logs it at Error level and shows
  // the status pop-up; returns 1 (OK) or 2 (Cancel). `dismiss` as for Prompt.
  int ShowPrinterMessage(const std::string& text, int kind,
                         const std::atomic<int>* dismiss = nullptr);
  // The text after the printer port, as ShowPrinterMessage shows it:
  // "TCP/IP(10.0.0.9) port : text" or "COM3 port : text".
  std::string PrinterPortPrefixed(const std::string& text);
  // Opens the printer link the way the settings say: the IP address and port
  // 9100 for "TCP/IP", otherwise the port name and the baud rate number.
  int OpenPrinterAsConfigured();
  // How the log names the printer of the settings: "COM3", "TCP/IP(192.0.2.5)".
  std::string PrinterName();
  // Why the printer link's last open or write failed, for the log: the
  // link's own cause, or that the settings name no link at all.
  std::string PrinterFailureCause();
  // Logs at Error level why the printer the settings name could not be had:
  // "COM3: access denied (held by another program)".
  void LogPrinterFailure();
  // The relay end PortLists.ini names: only Port1 is ever read.
  RelayPortEntry ReadRelayPort();
  // Closes the relay end in the slot. The printer link lets go of it as well
  // (it may hold it as its reply port), so the device is really closed and
  // can be opened again.
  void CloseRelayPortSlot(int slot);

  // The text for the window's code page, in the ANSI code page.
  std::string Say(const Text& text) { return Pick(*platform_.system, codePage_, text); }

  platform::Platform& platform() { return platform_; }
  ServiceView& view() { return view_; }
  // The pop-ups, for messages shown as they are (no port prefix, no log line).
  Prompt& prompt() { return prompt_; }
  links::PrinterLink& link() { return link_; }
  RelaySettings& settings() { return settings_; }
  Log& log() { return log_; }
  ProgramDirectory& programDirectory() { return directory_; }
  unsigned codePage() const { return codePage_; }
  StopFlag& stopFlag() { return stopFlag_; }
  VirtualPortTable& ports() { return ports_; }
  RelayWorker& worker() { return worker_; }
  // The journal while it records, or null (off, failed, never opened).
  Journal* journal() { return journal_ && journal_->on() ? journal_.get() : nullptr; }
  std::string journalFolder() { return directory_.PathOf(kJournalFolder); }

 private:
  platform::Platform& platform_;
  ServiceView& view_;
  Prompt& prompt_;
  links::PrinterLink& link_;
  ProgramDirectory directory_;
  RelaySettings settings_;
  Log log_;
  unsigned codePage_ = 0;
  StopFlag stopFlag_;
  VirtualPortTable ports_;
  std::unique_ptr<Journal> journal_;  // before the worker, which uses it
  RelayWorker worker_;
};

}  // namespace core
