// The spooler's lists on POSIX: the ports of the port map folder
// (port_map.h) under their Windows names, and the CUPS queues with their
// device URIs as their ports.
#include "platform/port_enumerator.h"

#include <cups/cups.h>
#include <dirent.h>

#include <algorithm>
#include <cstdlib>

#include "platform/posix/port_enumerator.h"
#include "platform/posix/port_map.h"

namespace platform::posix {
namespace {

struct PortName {
  int kind;  // 0 COM, 1 LPT
  unsigned long number;
  bool operator<(const PortName& o) const {
    return kind != o.kind ? kind < o.kind : number < o.number;
  }
  bool operator==(const PortName& o) const { return kind == o.kind && number == o.number; }
};

// "com5" -> COM 5; false for any other entry (locks, temporary links, ...).
bool ParsePortName(const std::string& entry, PortName& port) {
  if (entry.size() < 4 || entry.size() > 12) return false;
  const std::string prefix = entry.substr(0, 3);
  if (prefix == "com")
    port.kind = 0;
  else if (prefix == "lpt")
    port.kind = 1;
  else
    return false;
  for (size_t i = 3; i < entry.size(); ++i)
    if (entry[i] < '0' || entry[i] > '9') return false;
  port.number = std::strtoul(entry.c_str() + 3, nullptr, 10);
  return port.number > 0;
}

class PosixPortEnumerator : public PortEnumerator {
 public:
  explicit PosixPortEnumerator(std::string mapDirectory) : mapDirectory_(std::move(mapDirectory)) {}

  // Both ends of a virtual pair are ports of the machine, as com0com's are,
  // even while the application end has not been published yet.
  int ListPorts(std::vector<std::string>& names) override {
    names.clear();
    const std::string dir = mapDirectory_.empty() ? PortMapDirectory() : mapDirectory_;
    std::vector<PortName> ports;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        PortName port{};
        if (!ParsePortName(e->d_name, port)) continue;
        ports.push_back(port);
        PortEntry entry = ResolvePort(e->d_name, dir);
        PortName partner{};
        if (entry.kind == PortEntry::kPairRelayEnd && ParsePortName(entry.target, partner))
          ports.push_back(partner);
      }
      closedir(d);
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    for (const PortName& p : ports)
      names.push_back((p.kind == 0 ? "COM" : "LPT") + std::to_string(p.number) + ":");
    return 0;
  }

  int ListPrinters(std::vector<PrinterInfo>& printers) override {
    printers.clear();
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
      PrinterInfo info;
      info.name = dests[i].name ? dests[i].name : "";
      if (dests[i].instance) info.name += std::string("/") + dests[i].instance;
      const char* uri = cupsGetOption("device-uri", dests[i].num_options, dests[i].options);
      info.port = uri ? uri : "";
      printers.push_back(info);
    }
    cupsFreeDests(count, dests);
    return 0;
  }

 private:
  std::string mapDirectory_;
};

}  // namespace

std::unique_ptr<PortEnumerator> MakePortEnumerator(const std::string& mapDirectory) {
  return std::make_unique<PosixPortEnumerator>(mapDirectory);
}

PortEnumerator& NewPortEnumerator() {
  static PosixPortEnumerator enumerator("");
  return enumerator;
}

}  // namespace platform::posix
