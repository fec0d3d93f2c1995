// ServiceDialog: construction and the start-up order of the relay service.
#include "core/service_dialog.h"

#include <cstring>

#include "core/controls.h"
#include "core/format.h"

namespace core {

ServiceDialog::ServiceDialog(platform::Platform& platform, ServiceView& view, Prompt& prompt)
    : platform_(platform),
      view_(view),
      prompt_(prompt),
      directory_(*platform.files),
      log_(platform, directory_, settings_.logFileOn) {}

int ServiceDialog::OnInitDialog() {
  codePage_ = platform_.system->AnsiCodePage();
  view_.InitControls(codePage_);
  LoadSettingsStep();
  FillPrinterPortChoices();

  log_.WriteLog(kLogDebug, "Start OpenPort");
  stopFlag_ = 0;

  view_.HideToTray();
  view_.CreateTooltips(codePage_);
  return 1;
}

void ServiceDialog::Shutdown() { stopFlag_ = 1; }

// Nothing can be logged before this step: the log flag comes from the file.
void ServiceDialog::LoadSettingsStep() {
  LoadSettings(settings_, directory_, *platform_.files, *platform_.profile);
}

// The printer port combo box: "USB", the system's COM ports that are not the
// virtual pair's, the LPT ports, "TCP/IP"; then the configured port selected.
void ServiceDialog::FillPrinterPortChoices() {
  comPorts_.Clear();
  view_.AddListEntry(controls::kPrinterPortCombo, "USB");
  for (int i = 0; i < comPorts_.count && i < SystemPortTable::kEntries; ++i) {
    const char* name = comPorts_.names[i].data();
    if (std::strlen(name) > 1) view_.AddListEntry(controls::kPrinterPortCombo, name);
  }
  view_.AddListEntry(controls::kPrinterPortCombo, "TCP/IP");
  view_.SelectComboPrefix(controls::kPrinterPortCombo, settings_.port);
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
