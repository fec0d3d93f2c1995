// Implemented by platform/win32/usb_printers.cpp and platform/posix/usb_printers.cpp.
// USB receipt printers of the USB printer class, for the USB printer link.
// The link finds its printer among the device interface paths listed here,
// opens it as a file and asks, once per reader turn, whether the device is
// still linked.
//
// Windows: SetupAPI loaded at run time by name, the printer class interface
// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}, the registry's DeviceClasses keys.
// POSIX: the kernel's USB printer devices (usblp, /dev/usb/lpN) found through
// sysfs and named in the Windows form, "\\?\usb#vid_0525&pid_a700#lp0#{...}",
// so the link matches them by the same path prefixes; the link check there is
// the device's presence in sysfs.
//
// Threads: listing, opening and the link check may come from the caller, the
// reader and the reconnect thread at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

class SerialPort;

// The answers of the link check.
enum UsbLinkCheck : int {
  kUsbNotLinked = 0,  // the device is gone or being replaced
  kUsbLinked = 1,
  kUsbLinkUnknown = 2,  // the system cannot tell
};

class UsbPrinters {
 public:
  virtual ~UsbPrinters() = default;

  // Loads the setup library ("SETUPAPI.DLL") and resolves its four functions
  // by name; true only when all four were found. A loaded library stays until
  // FreeSetupLibrary. POSIX has nothing to load: true.
  virtual bool LoadSetupLibrary() = 0;
  virtual void FreeSetupLibrary() = 0;

  // The interface paths of the present USB printer class devices, in the
  // system's order (nothing while the setup library is not loaded). Returns
  // the number of paths.
  virtual int ListPrinters(std::vector<std::string>& paths) = 0;

  // CreateFileA on the path (the caller appends "\USB0/4" for the printer's
  // data): read and write, no sharing, open existing, overlapped or plain.
  // Null when the device cannot be opened. Reads of the port are bounded.
  virtual std::unique_ptr<SerialPort> Open(const std::string& path, bool overlapped) = 0;
  // The OS error of the calling thread's last failed open (os_error.h).
  virtual int LastError() { return 0; }

  // Whether the device behind an interface path (as listed) is still linked:
  // a UsbLinkCheck. `view64` reads the registry's 64-bit view.
  virtual int CheckLink(const std::string& devicePath, bool view64) = 0;
};

}  // namespace platform
