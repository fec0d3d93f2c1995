// EditSettings (see settings_edit.h).
#include "app/settings_edit.h"

#include "provisioning/port_refresh.h"

namespace app {
namespace {

struct SettingKey {
  const char* key;
  std::string SettingsTexts::*text;
  std::string core::RelaySettings::*record;
  std::atomic<int> core::RelaySettings::*flag;  // null: no on/off flag
  const char* logLabel;  // "<label> : = <new>", or "<label> : <previous> -> <new>"
  bool logsPrevious;
  bool reconnect;  // the printer link depends on it
};

// Written, logged and judged in this order.
const SettingKey kKeys[] = {
    {"Baudrate", &SettingsTexts::baudrate, &core::RelaySettings::baudrate, nullptr, "Port", true,
     true},
    {"Port", &SettingsTexts::port, &core::RelaySettings::port, nullptr, "Port", true, true},
    {"Realtime", &SettingsTexts::realtime, &core::RelaySettings::realtime,
     &core::RelaySettings::realtimeOn, "Realtime", false, true},
    {"Popup", &SettingsTexts::popup, &core::RelaySettings::popup, &core::RelaySettings::popupOn,
     "Pop-up", false, false},
    {"LogFile", &SettingsTexts::logFile, &core::RelaySettings::logFile,
     &core::RelaySettings::logFileOn, "Log File", false, false},
    {"IP", &SettingsTexts::ip, &core::RelaySettings::ip, nullptr, "IP", false, true},
    {"Reprint", &SettingsTexts::reprint, &core::RelaySettings::reprint,
     &core::RelaySettings::reprintOn, "Reprint", false, false},
    {"Timeout", &SettingsTexts::timeout, &core::RelaySettings::timeout, nullptr, "TIMEOUT", false,
     false},
    {"ResultTimeout", &SettingsTexts::resultTimeout, &core::RelaySettings::resultTimeout, nullptr,
     "Result Timeout", false, false},
};

// Takes the dialog's values into the record, key by key; true when a value
// the printer link depends on changed.
bool ApplySettings(core::RelayService& service, const SettingsTexts& texts) {
  core::RelaySettings& settings = service.settings();
  settings.baudRate = core::ToInt(texts.baudrate);
  // Saved as typed, used within the same bounds as at start-up.
  core::SettingsNotes notes;
  settings.receiveTimeoutMs = core::ReceiveTimeoutMs(texts.timeout, notes);
  settings.resultTimeoutMs = core::ResultTimeoutMs(texts.resultTimeout, notes);
  for (const std::string& line : notes.lines)
    service.log().WriteLog(core::kLogError, "%s", line.c_str());

  bool reconnect = false;
  for (const SettingKey& k : kKeys) {
    const std::string& now = texts.*k.text;
    const std::string previous = settings.*k.record;
    if (now == previous) continue;
    // Port and IP are read by the worker too.
    settings.SetLinkText(k.record, now);
    core::WriteSetting(*service.platform().profile, core::kSettingsSection, k.key, now,
                       settings.settingsPath);
    // The log flag counts for its own line: switching the log off is not logged.
    if (k.flag) settings.*k.flag = core::ToFlag(now);
    if (k.logsPrevious)
      service.log().WriteLog(core::kLogChange, "%s : %s -> %s", k.logLabel, previous.c_str(),
                             now.c_str());
    else
      service.log().WriteLog(core::kLogChange, "%s : = %s", k.logLabel, now.c_str());
    reconnect = reconnect || k.reconnect;
  }
  return reconnect;
}

// Closes the link, waits a second and opens it as the record now says.
int ReconnectPrinter(core::RelayService& service) {
  service.link().CloseLink();
  service.platform().clock->SleepMs(kReconnectPauseMs);
  const int result = service.OpenPrinterAsConfigured();
  // Without real-time checking the worker opens the link for each job.
  if (result == 0 && !service.settings().realtimeOn) service.link().CloseLink();
  return result;
}

}  // namespace

SettingsTexts CurrentSettingsTexts(const core::RelaySettings& s) {
  return SettingsTexts{s.port,    s.timeout, s.baudrate, s.realtime,     s.popup,
                       s.logFile, s.ip,      s.reprint,  s.resultTimeout};
}

void RunEditSettings(core::RelayService& service, provisioning::ProvisioningState& state,
                     SettingsForm& form) {
  const SettingsTexts previous = CurrentSettingsTexts(service.settings());
  SettingsTexts texts = previous;
  int firstShowing = 1;
  for (;;) {
    if (form.Show(texts, firstShowing) != 1) {
      // Leaving after a failed reconnection: the values that worked come back
      // (the record and Settings.ini held the failing ones), and so does the
      // printer link.
      if (!firstShowing && ApplySettings(service, previous)) ReconnectPrinter(service);
      return;
    }
    if (!ApplySettings(service, texts)) return;
    if (ReconnectPrinter(service) == 0) {
      state.addingMode = 0;
      provisioning::RefreshPorts(service, state);
      return;
    }
    service.ShowPrinterMessage(service.Say(core::texts::kPrinterFailure), core::kStatusError);
    texts = previous;
    firstShowing = 0;
  }
}

}  // namespace app
