// The Windows blocking part of the relay worker's wait (port_wait.h).
#pragma once

#include <memory>

#include "platform/port_wait.h"

namespace platform::win32 {

std::unique_ptr<PortSignals> NewEventPortSignals();

}  // namespace platform::win32
