// The POSIX blocking part of the relay worker's wait (port_wait.h).
#pragma once

#include <memory>

#include "platform/port_wait.h"

namespace platform::posix {

std::unique_ptr<PortSignals> NewPollPortSignals();

}  // namespace platform::posix
