// Runs the printer-sim program as a child process for tests: starts it,
// collects its event lines, writes operator commands to its stdin and stops
// it within bounded time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/printer-sim/event_log.h"

namespace printersim {

// The printer-sim binary of this build; $PRINTER_SIM_BIN overrides it.
// Targets using it should add_dependencies(... printer-sim).
std::string SimBinaryPath();

class SimProcess {
 public:
  SimProcess() = default;
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess();

  // Starts `binary args...` and waits for its "listen" line. 0, or -1 with
  // *error (the child is then stopped).
  int Start(const std::string& binary, const std::vector<std::string>& args, std::string* error,
            std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Starts this build's printer-sim as a network printer on port 9100 of an
  // address of its own, 127.0.0.N, taking the first of up to 20 random ones
  // that is free; `args` follow the --tcp option. The address, or "" with
  // *error when none could be taken.
  std::string StartOnLoopback(const std::vector<std::string>& args, std::string* error);
  // Writes `line` and a newline to the child's stdin. 0 on success.
  int Send(std::string_view line);
  void CloseStdin();
  // Waits for the child to exit by itself; its wait status, or -1 on timeout.
  int WaitExit(std::chrono::milliseconds timeout);
  // SIGTERM, then SIGKILL if it has not exited within `timeout`. Returns the
  // wait status, or -1 when no child was running.
  int Terminate(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  EventLog& events() { return events_; }
  const std::string& listen_line() const { return listen_line_; }
  // Port from "listen tcp HOST:PORT", 0 otherwise.
  uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }

 private:
  void ReadOutput(int fd);
  void Reap(int status);

  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::thread reader_;
  EventLog events_;
  std::string listen_line_;
  uint16_t port_ = 0;
};

}  // namespace printersim
