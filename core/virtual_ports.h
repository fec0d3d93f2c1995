// The relay ends of the virtual port pairs the service holds open, and their
// serial set-up.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/serial_port.h"

namespace core {

struct VirtualPortTable {
  static constexpr int kSlots = 3;
  static constexpr int kNames = 256;
  static constexpr std::size_t kNameSize = 32;

  // Null where the open failed: such a port never starts a job.
  std::array<std::shared_ptr<platform::SerialPort>, kSlots> handles{};
  int count = 0;
  std::array<std::array<char, kNameSize>, kNames> names{};

  void SetName(int index, const std::string& name);
  std::string Name(int index) const;
  void ClearNames();
};

inline constexpr uint32_t kRelayQueueSize = 8192;

// [Ports] Port1 of PortLists.ini as it is written there. Only a name that
// begins with "COM" is a relay end the service opens.
struct RelayPortEntry {
  std::string name;
  bool isCom = false;
};

// "\\.\<name>" for a port name.
std::string RelayDevicePath(const std::string& name);

// Opens the relay end and applies the serial set-up (queues, purge, reads that
// return at once, 9600 8N1, DTR and RTS on, no flow control). A failed set-up
// step shows its message box and closes the device again; the result is null,
// and `whyNot` (when given) says why for the log.
std::shared_ptr<platform::SerialPort> OpenRelayPort(platform::Platform& platform,
                                                    const std::string& devicePath,
                                                    std::string* whyNot = nullptr);
// The Error line (and console notice) for a relay end that could not be
// opened: "COM6 : the relay port cannot be opened: <why>".
std::string RelayPortFailure(const std::string& name, const std::string& whyNot);
void CloseRelayPort(std::shared_ptr<platform::SerialPort>& port);

}  // namespace core
