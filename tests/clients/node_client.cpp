// Running the client scripts (see node_client.h).
#include "tests/clients/node_client.h"

#include <signal.h>

#include <filesystem>
#include <random>
#include <vector>

namespace clients {

const std::vector<ClientCase>& ClientCases() {
  static const std::vector<ClientCase> cases{
      // DLE EOT 1, 4, 2, 3: on-line, paper present, no off-line cause, no error.
      {"EscposHealthy",
       "escpos_client.js",
       false,
       "ESCPOS RECEIPT",
       {"printed", "statuses=16 12 12 12"}},
      // Off-line (0x08 of DLE EOT 1) because the cover is open (0x04 of DLE EOT 2).
      {"EscposCoverOpen",
       "escpos_client.js",
       true,
       "ESCPOS RECEIPT",
       {"printed", "statuses=1e 12 16 12"}},
      // GS r 1: paper present.
      {"NodeThermalPrinterHealthy",
       "thermal_client.js",
       false,
       "THERMAL RECEIPT",
       {"connected=true", "printed=Print done", "status=00"}},
      // An off-line printer does not carry out GS r: the library's read times out.
      {"NodeThermalPrinterCoverOpen",
       "thermal_client.js",
       true,
       "THERMAL RECEIPT",
       {"connected=true", "printed=Print done", "status=none"}},
  };
  return cases;
}

bool LibrariesInstalled() {
  return std::filesystem::exists(std::string(PORTRELAY_NODE_MODULES) + "/escpos-serialport") &&
         std::filesystem::exists(std::string(PORTRELAY_NODE_MODULES) + "/node-thermal-printer");
}

NodeClient::~NodeClient() {
  if (bridge_.pid() > 0) {
    bridge_.Signal(SIGTERM);
    bridge_.WaitExit(5000);
  }
}

std::string NodeClient::StartBridge(const std::string& port) {
  std::random_device rd;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::string address = "127.0.0." + std::to_string(2 + rd() % 250);
    const std::string tcpPort = std::to_string(20000 + rd() % 20000);
    if (!bridge_.Start({"socat", "-d", "-d",
                        "TCP-LISTEN:" + tcpPort + ",bind=" + address + ",reuseaddr,fork",
                        "OPEN:" + port + ",raw,echo=0"}))
      continue;
    if (bridge_.WaitForOutput("listening on", 5000)) return address + ":" + tcpPort;
    bridge_.Signal(SIGTERM);
    bridge_.WaitExit(5000);
  }
  return "";
}

std::string NodeClient::Run(const std::string& script, const std::string& port) {
  std::vector<std::string> argv{"node", std::string(PORTRELAY_CLIENTS_DIR) + "/" + script, port};
  if (script == "thermal_client.js") {
    const std::string server = StartBridge(port);
    if (server.empty()) return "(no TCP bridge)";
    argv.push_back(server);
  }
  support::ChildProcess client;
  support::ChildProcess::Options options;
  options.environment = {{"NODE_PATH", PORTRELAY_NODE_MODULES}};
  if (!client.Start(argv, options)) return "(node did not start)";
  const auto status = client.WaitExit(40000);
  return client.Output() + (status == 0 ? "" : "\n(exit status not 0)");
}

}  // namespace clients
