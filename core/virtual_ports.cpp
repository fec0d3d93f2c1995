// Relay end set-up.
#include "core/virtual_ports.h"

#include <algorithm>
#include <cstring>

#include "core/format.h"

namespace core {

void VirtualPortTable::SetName(int index, const std::string& name) {
  if (index < 0 || index >= kNames) return;
  auto& slot = names[static_cast<size_t>(index)];
  slot.fill('\0');
  std::memcpy(slot.data(), name.data(), std::min(name.size(), kNameSize - 1));
}

std::string VirtualPortTable::Name(int index) const {
  if (index < 0 || index >= kNames) return {};
  return std::string(names[static_cast<size_t>(index)].data());
}

void VirtualPortTable::ClearNames() {
  for (auto& name : names) name.fill('\0');
}

std::string RelayDevicePath(const std::string& name) { return "\\\\.\\" + name; }

std::string RelayPortFailure(const std::string& name, const std::string& whyNot) {
  return name + " : the relay port cannot be opened: " + whyNot;
}

std::shared_ptr<platform::SerialPort> OpenRelayPort(platform::Platform& platform,
                                                    const std::string& devicePath,
                                                    std::string* whyNot) {
  std::string why;
  auto fail = [&](const char* step) {
    if (whyNot) *whyNot = std::string(step) + " failed: it is no serial port";
    return nullptr;
  };
  // The relay end is a virtual null-modem port: the values only have to be
  // accepted by it. Overlapped I/O lets the worker wait for input on an event.
  std::unique_ptr<platform::SerialPort> port =
      platform.serialPorts->OpenOrSayWhy(devicePath, true, why);
  if (!port) {
    if (whyNot) *whyNot = why;
    return nullptr;
  }

  port->SetupQueues(kRelayQueueSize, kRelayQueueSize);
  port->Purge(platform::kPurgeAll);

  platform::CommTimeouts timeouts;
  port->GetTimeouts(timeouts);
  timeouts.readInterval = platform::kMaxDword;
  timeouts.readTotalMultiplier = 0;
  timeouts.readTotalConstant = 0;
  timeouts.writeTotalMultiplier = 0;
  timeouts.writeTotalConstant = 0;
  if (!port->SetTimeouts(timeouts)) {
    platform.system->ShowMessageBox(Format("SetCommTimeouts() Fail in %s", devicePath.c_str()),
                                    "portrelay");
    return fail("SetCommTimeouts()");
  }

  platform::LineSettings line;
  if (!port->GetLineSettings(line)) {
    platform.system->ShowMessageBox(Format("GetCommState() Fail in %s", devicePath.c_str()),
                                    "portrelay");
    return fail("GetCommState()");
  }
  platform::SetPlainLine(line, 9600);
  if (!port->SetLineSettings(line)) {
    platform.system->ShowMessageBox(Format("SetCommState() Fail in %s", devicePath.c_str()),
                                    "portrelay");
    return fail("SetCommState()");
  }
  return std::shared_ptr<platform::SerialPort>(std::move(port));
}

void CloseRelayPort(std::shared_ptr<platform::SerialPort>& port) { port.reset(); }

}  // namespace core
