// Where Windows port names live on Linux. One folder beside the program,
// "dosdevices" (named after Wine's folder of the same purpose), holds one
// entry per port name, in lower case:
//   com3 -> /dev/ttyUSB0        a serial device (any character device or pty)
//   lpt1 -> /dev/usb/lp0        a parallel or USB line printer device
//   com6 -> pty:com5            the relay end of a virtual port pair: opening
//                               COM6 creates a pseudo-terminal whose other end
//                               appears as the link com5 -> /dev/pts/N, the
//                               stable path an application opens as its COM5.
// Settings.ini and PortLists.ini therefore hold the same names on Linux as on
// Windows.
#pragma once

#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace platform::posix {

struct PortEntry {
  enum Kind { kMissing, kDevice, kPairRelayEnd } kind = kMissing;
  std::string target;  // the device path, or for a pair the partner's name
  std::string path;    // the entry itself (dosdevices/com6)
  std::string link;    // what the entry points at, when it is a link
  // Missing: why, for the user ("no entry com999 in ...").
  std::string whyMissing;
};

// "<program directory>/dosdevices".
std::string PortMapDirectory();
// "\\.\COM6", "COM6" or "com6" -> the entry for com6 in the map folder.
PortEntry ResolvePort(const std::string& devicePathOrName, const std::string& mapDirectory);
// The file name a port has in the map: "\\.\COM6" -> "com6".
std::string PortEntryName(const std::string& devicePathOrName);

// Opens a device node as a serial-style port, for this program only (an
// exclusive lock: "no sharing"); null when it cannot be opened or is in use,
// and then `whyNot` (when given) says which, in the system's words.
// The port map's device entries and the USB printers open this way.
std::unique_ptr<SerialPort> OpenDevicePath(const std::string& path, std::string* whyNot = nullptr);
// errno of the calling thread's last failed open here or through the port
// map (EWOULDBLOCK: another program holds the device).
int LastOpenError();

// Serial ports resolved through the given map folder instead of the
// program's own (for tests that build their own "machine").
std::unique_ptr<SerialPorts> MakeSerialPorts(const std::string& mapDirectory);

}  // namespace platform::posix
