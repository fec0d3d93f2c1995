// The Win32 factory: one instance of every platform implementation.
#include "platform/win32/native.h"

namespace platform {

Platform& Native() {
  static win32::WinClock clock;
  static win32::WinFiles files;
  static win32::WinProfile profile;
  static win32::WinDurableFiles durableFiles;
  static win32::WinSystem system;
  static Platform p = [] {
    Platform q{&clock, &files, &profile, &system};
    q.serialPorts = &win32::NewSerialPorts();
    q.sockets = &win32::NewSockets();
    q.spooler = &win32::NewSpooler();
    q.registry = &win32::NewRegistry();
    q.processes = &win32::NewProcesses();
    q.portEnumerator = &win32::NewPortEnumerator();
    q.usb = &win32::NewUsbPrinters();
    q.runningPrograms = &win32::NewRunningPrograms();
    q.durableFiles = &durableFiles;
    return q;
  }();
  return p;
}

SingleInstance& NativeInstance() { return win32::NewInstance(); }

}  // namespace platform
