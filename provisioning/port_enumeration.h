// The system's COM and LPT ports and local printers, as the print spooler
// lists them: the printer port choices offered to the user (without the
// virtual pair's ports, see pair_discovery.h), the list of all COM ports, and
// which installed printer already uses a port. UI thread only.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/relay_service.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/port_enumerator.h"

namespace provisioning {

inline constexpr std::size_t kPrinterBufferSize = 256;

// The system's COM ports found at start-up: 256 names of at most 31 characters.
struct SystemPortTable {
  static constexpr int kEntries = 256;
  static constexpr std::size_t kNameSize = 32;
  std::array<std::array<char, kNameSize>, kEntries> names{};
  int count = 0;

  void Clear() {
    for (auto& name : names) name.fill('\0');
    count = 0;
  }
};

// Appends every port whose name begins with "COM" to the table, trailing
// colons removed, from the table's current count on. Stops when the table is
// full; a name longer than an entry holds is cut to 31 characters.
void EnumerateComPorts(platform::PortEnumerator& ports, SystemPortTable& table);
// Adds every "LPT" port, colons removed, to the printer port combo box 1019.
void ListLptPorts(core::RelayService& service);
// The "LPT" ports, colons removed, in the spooler's order.
std::vector<std::string> LptPortNames(platform::PortEnumerator& ports);
// Adds every "COM" port as the spooler gives it (colon kept) to list box 1003.
void ListAllComPorts(core::RelayService& service);

// The printer found on a port (each text at most 255 characters).
struct PrinterOnPort {
  std::string printer;
  std::string port;
};
// 1 when a local printer uses exactly "<port>:" (whole text, case-sensitive;
// the first one the spooler lists wins), with `found` filled; else 0. A failed
// printer enumeration shows the "EnumPrinters() Error" message box.
int FindPrinterOnPort(platform::Platform& platform, const std::string& port, PrinterOnPort& found);
// True when a file matching the path exists.
bool FileExists(platform::Files& files, const std::string& path);

}  // namespace provisioning
