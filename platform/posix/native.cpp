// The POSIX factory: one instance of every platform implementation.
#include "platform/posix/native.h"

namespace platform {

Platform& Native() {
  static posix::PosixClock clock;
  static posix::PosixFiles files;
  static posix::PosixProfile profile;
  static posix::PosixDurableFiles durableFiles;
  static posix::PosixSystem system;
  static Platform p = [] {
    Platform q{&clock, &files, &profile, &system};
    q.serialPorts = &posix::NewSerialPorts();
    q.sockets = &posix::NewSockets();
    q.spooler = &posix::NewSpooler();
    q.registry = &posix::NewRegistry();
    q.processes = &posix::NewProcesses();
    q.portEnumerator = &posix::NewPortEnumerator();
    q.usb = &posix::NewUsbPrinters();
    q.runningPrograms = &posix::NewRunningPrograms();
    q.durableFiles = &durableFiles;
    return q;
  }();
  return p;
}

SingleInstance& NativeInstance() { return posix::NewInstance(); }

}  // namespace platform
