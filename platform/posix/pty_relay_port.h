// The relay end of a virtual port pair on POSIX: a pseudo-terminal whose
// other end the port map publishes as the application's port (port_map.h).
#pragma once

#include <memory>
#include <string>

#include "platform/posix/port_map.h"
#include "platform/serial_port.h"

namespace platform::posix {

// Creates the pseudo-terminal for a pair entry ("com6 -> pty:com5") and
// publishes its application end as the link com5 beside the entry. Null when
// another process holds the relay end or the pseudo-terminal cannot be made;
// then `whyNot` (when given) says which.
std::unique_ptr<SerialPort> OpenPairRelayEnd(const PortEntry& entry, std::string* whyNot = nullptr);

}  // namespace platform::posix
