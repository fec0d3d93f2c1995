// The port refresh: brings the relay's side of the virtual pair up to date
// with what com0com has installed, without restarting the program. It stops
// the relay worker, closes the relay port, rescans pair 0, rewrites
// PortLists.ini, reopens the relay port and starts the worker again. In
// adding mode (after a pair installation) it also checks that the
// installation produced a new, consistent pair, and closes the program when
// it did not. UI thread only; it blocks for seconds (every wait on the
// service's clock).
#pragma once

#include <cstdint>

#include "core/relay_service.h"
#include "provisioning/provisioning_state.h"

namespace provisioning {

inline constexpr uint32_t kStopPauseMs = 1000;
inline constexpr uint32_t kInstallSettleMs = 4000;
inline constexpr uint32_t kNoticeSettleMs = 1000;
inline constexpr uint32_t kReopenPauseMs = 1500;
inline constexpr uint32_t kAfterOpenPauseMs = 100;
inline constexpr std::size_t kMessageBufferSize = 260;

// The adding mode comes from `state`; the pair ends counted by the last scan
// are recorded there.
void RefreshPorts(core::RelayService& service, ProvisioningState& state);

// Opens the relay port that Port1 of PortLists.ini names into slot 0 (listed
// in 1002 and counted even when the open fails; a failed open deletes
// PortLists.ini, says so and asks the program to close), shows the count and
// starts the worker. The refresh's last part, also used when an installation
// could not even start.
void ReopenRelayPort(core::RelayService& service, bool withProgress);

}  // namespace provisioning
