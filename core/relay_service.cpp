// RelayService: the shared run-time operations of the relay.
#include "core/relay_service.h"

#include "core/format.h"

namespace core {

RelayService::RelayService(platform::Platform& platform, ServiceView& view, Prompt& prompt,
                           links::PrinterLink& link)
    : platform_(platform),
      view_(view),
      prompt_(prompt),
      link_(link),
      directory_(*platform.files),
      log_(platform, directory_, settings_.logFileOn),
      worker_(*this, link) {}

RelayService::~RelayService() { stopFlag_ = 1; }

unsigned RelayService::LoadCodePage() {
  codePage_ = platform_.system->AnsiCodePage();
  return codePage_;
}

// Nothing can be logged before this: the log flag comes from the file. A
// file that yielded no setting at all cannot say whether logging is wanted,
// so what is wrong with it is written all the same.
void RelayService::LoadSettings() {
  const SettingsNotes notes =
      core::LoadSettings(settings_, directory_, *platform_.files, *platform_.profile);
  for (const std::string& line : notes.lines) {
    if (notes.nothingRead)
      log_.WriteLogAlways(kLogError, "%s", line.c_str());
    else
      log_.WriteLog(kLogError, "%s", line.c_str());
    view_.Notify(line);
  }
}

void RelayService::OpenJournal() {
  if (journal_ || !platform_.durableFiles) return;
  if (!settings_.journalOn) {
    log_.WriteLog(kLogError, "Journal=NO in Settings.ini: jobs are not kept in a journal");
    return;
  }
  journal_ = std::make_unique<Journal>(
      *platform_.durableFiles, *platform_.clock, journalFolder(), platform_.files->PathSeparator(),
      [this](const std::string& line) { log_.WriteLog(kLogError, "%s", line.c_str()); });
  JournalLimits limits;
  limits.days = settings_.journalDaysKept;
  limits.maxBytes = static_cast<uint64_t>(settings_.journalMbKept.load()) << 20;
  journal_->Open(limits);
}

void RelayService::Shutdown() {
  if (worker_.running()) {
    stopFlag_ = 1;
    worker_.WaitEnded();
  }
  link_.SetReplyPort(nullptr);
  link_.CloseLink();
  for (auto& handle : ports_.handles) CloseRelayPort(handle);
  if (journal_) journal_->Close();
}

RelayPortEntry RelayService::ReadRelayPort() {
  RelayPortEntry entry;
  entry.name = ReadSetting(*platform_.profile, kPortsSection, "Port1", settings_.portListsPath);
  entry.isCom = entry.name.compare(0, 3, "COM") == 0;
  return entry;
}

void RelayService::CloseRelayPortSlot(int slot) {
  if (slot < 0 || slot >= VirtualPortTable::kSlots) return;
  link_.SetReplyPort(nullptr);
  CloseRelayPort(ports_.handles[static_cast<size_t>(slot)]);
}

int RelayService::OpenPrinterAsConfigured() {
  const RelaySettings::LinkTextsCopy target = settings_.LinkTexts();
  if (target.port == "TCP/IP") return link_.OpenLink(target.ip, kTcpPrinterPort);
  return link_.OpenLink(target.port, settings_.baudRate);
}

std::string RelayService::PrinterName() {
  const RelaySettings::LinkTextsCopy target = settings_.LinkTexts();
  return target.port == "TCP/IP" ? "TCP/IP(" + target.ip + ")" : target.port;
}

// Any other port name goes to the TCP/IP link, which finds no address in it;
// with Baudrate=1 it is a printer's name for the spooler link.
std::string RelayService::PrinterFailureCause() {
  const RelaySettings::LinkTextsCopy target = settings_.LinkTexts();
  const std::string prefix = target.port.substr(0, 3);
  const bool linkKind =
      target.port == "TCP/IP" || prefix == "COM" || prefix == "LPT" || prefix == "USB";
  if (!linkKind && settings_.baudRate != 1)
    return "no link of that kind (COM, LPT, USB or TCP/IP) and no printer of that name";
  const std::string cause = link_.FailureCause();
  return cause.empty() ? "the link gives no reason" : cause;
}

void RelayService::LogPrinterFailure() {
  log_.WriteLog(kLogError, "%s: %s", PrinterName().c_str(), PrinterFailureCause().c_str());
}

std::string RelayService::PrinterPortPrefixed(const std::string& text) {
  const RelaySettings::LinkTextsCopy target = settings_.LinkTexts();
  if (target.port == "TCP/IP") {
    return FormatText(Say(texts::kPortPrefixTcp).c_str(), target.port.c_str(), target.ip.c_str(),
                      text.c_str());
  }
  return FormatText(Say(texts::kPortPrefix).c_str(), target.port.c_str(), text.c_str());
}

int RelayService::ShowPrinterMessage(const std::string& text, int kind,
                                     const std::atomic<int>* dismiss) {
  const std::string shown = PrinterPortPrefixed(text);
  log_.WriteLog(kLogError, "%s", shown.c_str());
  return prompt_.Show(shown, kind, dismiss);
}

}  // namespace core
