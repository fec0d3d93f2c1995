// Installing a virtual port pair on POSIX, as com0com's installer does on
// Windows: the pseudo-terminal pair of the port map (port_map.h) gets its
// relay-end entry "comB -> pty:comA", and both names are registered under
// com0com's keys in the installation's registry stand-in, so the relay
// discovers them exactly as it discovers com0com's.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace platform::posix {

struct InstalledPair {
  int index = -1;              // n of CNCAn / CNCBn
  std::string applicationEnd;  // "COM1": the port the application opens
  std::string relayEnd;        // "COM2": the port the relay opens
  std::string failure;         // why the installation failed, for its report
};

// Installs the next pair: the first index without CNCA/CNCB keys. An empty
// name (or "COM#") takes the lowest COM number that no port map entry and no
// registered pair end uses yet. 0, or a registry error code (or -1 when the
// port map entry cannot be made).
int InstallVirtualPair(Registry& registry, const std::string& mapDirectory,
                       const std::string& applicationName, const std::string& relayName,
                       InstalledPair& pair);

// Every COM name in use on the installation: port map entries (and the
// application ends they publish) and registered pair ends.
std::vector<std::string> UsedComNames(Registry& registry, const std::string& mapDirectory);

}  // namespace platform::posix
