// A whole relay on one Linux machine for integration tests: a fresh
// installation folder with the portrelay program, a virtual pair in its port
// map (COM6 relay end, COM5 application end), the printer simulator on its own
// loopback address at port 9100, and the application's side of COM5.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/serial_client.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace support {

class RelayRig {
 public:
  RelayRig();
  ~RelayRig();

  // Starts the simulator on a free 127.0.0.N:9100 with the extra arguments.
  bool StartPrinter(const std::vector<std::string>& extraArgs = {});
  // Writes Settings.ini ([Settings] body after Port=TCP/IP, IP, LogFile=YES and
  // Realtime=YES; a later key of the same name does not override) and
  // starts portrelay.
  bool StartRelay(const std::string& settings);
  // Starts the simulator on a pseudo-terminal that the port map names `name`
  // ("com3", "lpt1"), recording to the same file, with the extra arguments.
  bool StartPrinterOnPty(const std::string& name, const std::vector<std::string>& extraArgs = {});
  // Writes Settings.ini with the printer on `port` ("COM3"): [Settings] body
  // after Port, LogFile=YES and Realtime=YES; then starts portrelay.
  bool StartRelayOnPort(const std::string& port, const std::string& settings);
  // Opens the application end once the relay has published it.
  bool OpenApplicationPort();

  std::string Log();
  std::vector<uint8_t> Recorded();
  // Waits until the log holds the text.
  bool WaitForLog(const std::string& text, int timeoutMs);

  // Added to portrelay's environment (PORTRELAY_DEBUG to see its debugger
  // output on standard error).
  std::vector<std::pair<std::string, std::string>> relayEnvironment;

  TempDir dir;
  std::string ip;
  printersim::SimProcess printer;
  ChildProcess relay;
  SerialClient app;
};

// Index of the first occurrence of `needle` in `hay`, or npos; and how often it occurs.
size_t FindBytes(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle,
                 size_t from = 0);
int CountBytes(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle);

}  // namespace support
