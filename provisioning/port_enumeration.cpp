// System port and printer enumeration (see port_enumeration.h).
#include "provisioning/port_enumeration.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/controls.h"
#include "core/texts.h"

namespace provisioning {
namespace {

bool BeginsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string WithoutColons(std::string name) {
  while (!name.empty() && name.back() == ':') name.pop_back();
  return name;
}

std::vector<std::string> SpoolerPorts(core::RelayService& service) {
  std::vector<std::string> names;
  if (service.platform().portEnumerator->ListPorts(names) != 0) names.clear();
  return names;
}

std::string Cut(const std::string& text, std::size_t bufferSize) {
  return text.size() < bufferSize ? text : text.substr(0, bufferSize - 1);
}

}  // namespace

void EnumerateComPorts(platform::PortEnumerator& ports, SystemPortTable& table) {
  std::vector<std::string> names;
  if (ports.ListPorts(names) != 0) return;
  for (const std::string& name : names) {
    if (!BeginsWith(name, "COM")) continue;
    if (table.count < 0 || table.count >= SystemPortTable::kEntries) return;
    auto& entry = table.names[static_cast<size_t>(table.count)];
    const std::string bare = WithoutColons(name);
    entry.fill('\0');
    std::memcpy(entry.data(), bare.data(), std::min(bare.size(), SystemPortTable::kNameSize - 1));
    ++table.count;
  }
}

void ListLptPorts(core::RelayService& service) {
  for (const std::string& name : LptPortNames(*service.platform().portEnumerator))
    service.view().AddListEntry(core::controls::kPrinterPortCombo, name);
}

std::vector<std::string> LptPortNames(platform::PortEnumerator& ports) {
  std::vector<std::string> names, lpt;
  if (ports.ListPorts(names) != 0) return lpt;
  for (const std::string& name : names)
    if (BeginsWith(name, "LPT")) lpt.push_back(WithoutColons(name));
  return lpt;
}

void ListAllComPorts(core::RelayService& service) {
  for (const std::string& name : SpoolerPorts(service))
    if (BeginsWith(name, "COM")) service.view().AddListEntry(core::controls::kAllComPortList, name);
}

int FindPrinterOnPort(platform::Platform& platform, const std::string& port, PrinterOnPort& found) {
  const std::string wanted = port + ":";
  found = PrinterOnPort{};
  std::vector<platform::PrinterInfo> printers;
  if (platform.portEnumerator->ListPrinters(printers) != 0) {
    platform.system->ShowMessageBox(core::texts::kEnumPrintersFailed,
                                    core::texts::kEnumPrintersCaption);
    return 0;
  }
  for (const platform::PrinterInfo& printer : printers) {
    if (printer.port != wanted) continue;
    found.printer = Cut(printer.name, kPrinterBufferSize);
    found.port = Cut(printer.port, kPrinterBufferSize);
    return 1;
  }
  return 0;
}

bool FileExists(platform::Files& files, const std::string& path) { return files.FileExists(path); }

}  // namespace provisioning
