// EditSettings: the settings dialog's run. Each setting the user changed is
// written to Settings.ini on its own and logged; when one that the printer
// link depends on changed, the printer is reconnected and the relay ports
// refreshed. A printer that cannot be reached with the new values brings the
// dialog back with the previous ones. UI thread only; it blocks while the
// dialog is up and while the printer is reconnected.
#pragma once

#include <cstdint>

#include "app/settings_form.h"
#include "core/relay_service.h"
#include "provisioning/provisioning_state.h"

namespace app {

inline constexpr uint32_t kReconnectPauseMs = 1000;

// The record's nine texts in the dialog's order.
SettingsTexts CurrentSettingsTexts(const core::RelaySettings& settings);

void RunEditSettings(core::RelayService& service, provisioning::ProvisioningState& state,
                     SettingsForm& form);

}  // namespace app
