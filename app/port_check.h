// The application port check: does what a point-of-sale program would do with
// the application end of the virtual pair (open it alone, set it up like a
// printer port, print the test page through it, so the page travels through
// the relay to the printer) and tells the user whether the port is usable.
// The developer print sends the stored banner the same way. UI thread only;
// every failure closes the port before its message is shown.
#pragma once

#include <string>

#include "core/relay_service.h"
#include "platform/serial_port.h"

namespace app {

enum PortCheckResult : int {
  kCheckUsable = 0,
  kCheckInUse = 1,           // the open failed: another program holds the port
  kCheckTimeoutsFailed = 2,  // SetCommTimeouts
  kCheckGetStateFailed = 3,  // GetCommState
  kCheckSetStateFailed = 4,  // SetCommState
  kCheckWriteFailed = 5,     // the last write (the cut) or the banner failed
};

inline constexpr std::size_t kDevicePathBufferSize = 32;

// "\\.\<name>", cut to what a 32-byte buffer holds.
std::string CheckDevicePath(const std::string& portName);
// Reads return at once with what is queued; no total time-outs.
void SetCheckTimeouts(platform::CommTimeouts& timeouts);
// 9600 8N1, binary, DTR and RTS on, no flow control of any kind.
void SetCheckLine(platform::LineSettings& line);

// Button 1001: the test page through `portName`; the outcome in the status
// pop-up (green: usable; red: in use or the transfer failed) or, for a failed
// set-up step, in an English message box.
int PortCheckPrint(core::RelayService& service, const std::string& portName);
// Button 1022: the banner picture, two feeds and a cut through `portName`;
// failures in message boxes only.
int DeveloperImagePrint(core::RelayService& service, const std::string& portName);

}  // namespace app
