// The point-of-sale client programs of tests/clients, run with node against an
// application end (a pty path): the unmodified libraries installed by
// scripts/setup into build/node do the printing and the status reading.
#pragma once

#include <string>

#include "tests/support/child_process.h"

namespace clients {

// Whether scripts/setup installed the libraries.
bool LibrariesInstalled();

class NodeClient {
 public:
  NodeClient() = default;
  ~NodeClient();
  NodeClient(const NodeClient&) = delete;
  NodeClient& operator=(const NodeClient&) = delete;

  // Runs "escpos_client.js" or "thermal_client.js" on the application end
  // `port` until it ends (40 s at most) and returns what it printed, with a
  // note when it failed. node-thermal-printer reads status only through its
  // network interface: for it socat serves the port on TCP, opening it per
  // connection as a serial device server would.
  std::string Run(const std::string& script, const std::string& port);

 private:
  std::string StartBridge(const std::string& port);
  support::ChildProcess bridge_;
};

}  // namespace clients
