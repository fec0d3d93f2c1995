// The spooler's port and printer lists as a test sets them.
#pragma once

#include <string>
#include <vector>

#include "platform/port_enumerator.h"

namespace fakes {

class FakePortEnumerator : public platform::PortEnumerator {
 public:
  int ListPorts(std::vector<std::string>& names) override {
    names = ports;
    return portsError;
  }
  int ListPrinters(std::vector<platform::PrinterInfo>& list) override {
    list = printers;
    return printersError;
  }

  std::vector<std::string> ports;
  std::vector<platform::PrinterInfo> printers;
  int portsError = 0;
  int printersError = 0;
};

}  // namespace fakes
