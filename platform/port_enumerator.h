// Implemented by platform/win32/port_enumerator.cpp and platform/posix/port_enumerator.cpp.
// The machine's ports and local printers as the print spooler lists them:
// EnumPortsA and EnumPrintersA at level 2 on Windows; on POSIX the serial and
// parallel devices of the port map under their COM/LPT names, and the CUPS
// queues with their device URIs as the printers' ports. UI thread only.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct PrinterInfo {
  std::string name;
  std::string port;
};

// (The calls are not named EnumPorts/EnumPrinters: winspool.h makes those
// names macros.)
class PortEnumerator {
 public:
  virtual ~PortEnumerator() = default;
  // The port names in the spooler's order, as it gives them ("COM1:",
  // "LPT1:", "FILE:", ...). 0, or the system error code.
  virtual int ListPorts(std::vector<std::string>& names) = 0;
  // Name and port of every local printer, in the spooler's order. 0, or the
  // system error code.
  virtual int ListPrinters(std::vector<PrinterInfo>& printers) = 0;
};

}  // namespace platform
