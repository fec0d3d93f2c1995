// Implemented by platform/win32/native.cpp and platform/posix/native.cpp (Native()).
// The operating system as the portable code sees it: one record of references
// to the small interfaces, filled by the program's factory (real Win32 or
// POSIX implementations) or by a test (fakes).
#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/profile.h"
#include "platform/system.h"

namespace platform {

class DurableFiles;
class SerialPorts;
class Sockets;
class PrintSpooler;
class UsbPrinters;
class Registry;
class Processes;
class PortEnumerator;
class RunningPrograms;

struct Platform {
  Clock* clock = nullptr;
  Files* files = nullptr;
  Profile* profile = nullptr;
  System* system = nullptr;
  SerialPorts* serialPorts = nullptr;          // relay ends, serial and parallel printers
  Sockets* sockets = nullptr;                  // network printers
  PrintSpooler* spooler = nullptr;             // printers behind a driver (raw jobs)
  UsbPrinters* usb = nullptr;                  // USB printer class devices
  Registry* registry = nullptr;                // machine-wide keys and values
  Processes* processes = nullptr;              // starting other programs
  PortEnumerator* portEnumerator = nullptr;    // the spooler's ports and local printers
  RunningPrograms* runningPrograms = nullptr;  // the running relay, for the uninstaller
  DurableFiles* durableFiles = nullptr;        // the job journal
};

// The real implementations of this build (Win32 or POSIX), created once.
Platform& Native();
// A fresh single-instance lock of this build.
SingleInstance& NativeInstance();

}  // namespace platform
