// The point-of-sale client programs of tests/clients, run with node against an
// application end (a pty path): the unmodified libraries installed by
// scripts/setup into build/node do the printing and the status reading.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace clients {

// Whether scripts/setup installed the libraries.
bool LibrariesInstalled();

// One client run: which script, against a healthy printer or one with its
// cover open, the receipt text it prints and the lines it must report.
struct ClientCase {
  const char* name;
  const char* script;
  bool coverOpen;
  const char* receiptText;
  std::vector<const char*> expected;  // lines the client prints
};

// Test listings show a case by its name.
inline void PrintTo(const ClientCase& c, std::ostream* os) { *os << c.name; }

// Both libraries, each with the printer healthy and with its cover open.
const std::vector<ClientCase>& ClientCases();

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
