// Implemented in platform/win32/serial_port.cpp.
// A serial-style port over a device handle opened elsewhere in this build
// (the USB printer, opened through its device interface path). The port owns
// the handle and closes it.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/serial_port.h"

namespace platform::win32 {

// `readWaitMs` bounds the wait for an overlapped read (INFINITE: the device's
// read time-outs end it).
std::unique_ptr<SerialPort> AdoptCommHandle(HANDLE handle, bool overlapped, DWORD readWaitMs);

}  // namespace platform::win32
