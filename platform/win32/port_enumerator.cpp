// The print spooler's ports and local printers (level 2 records).
#include "platform/port_enumerator.h"

#include <windows.h>

#include <winspool.h>

#include <vector>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

class WinPortEnumerator : public PortEnumerator {
 public:
  int ListPorts(std::vector<std::string>& names) override {
    names.clear();
    DWORD needed = 0, count = 0;
    ::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return 0;
    std::vector<BYTE> buffer(needed);
    if (!EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &count))
      return static_cast<int>(GetLastError());
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      names.emplace_back(ports[i].pPortName ? ports[i].pPortName : "");
    return 0;
  }

  int ListPrinters(std::vector<PrinterInfo>& printers) override {
    printers.clear();
    DWORD needed = 0, count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed > 0 ? needed : 1);
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
      return static_cast<int>(GetLastError());
    const auto* list = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      printers.push_back({list[i].pPrinterName ? list[i].pPrinterName : "",
                          list[i].pPortName ? list[i].pPortName : ""});
    return 0;
  }
};

}  // namespace

PortEnumerator& NewPortEnumerator() {
  static WinPortEnumerator enumerator;
  return enumerator;
}

}  // namespace platform::win32
