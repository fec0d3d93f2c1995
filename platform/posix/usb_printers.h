// USB printers on Linux: the kernel's USB printer devices (usblp). Each one
// appears in sysfs as class/usbmisc/lpN, whose "device" link leads to the
// USB interface; the USB device above it holds idVendor and idProduct. Its
// data goes through the device node usb/lpN. The printers are listed under
// Windows-form interface paths,
//   \\?\usb#vid_0525&pid_a700#lp0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}
// and the link check is the device's presence: the sysfs entry is there with
// the same identifiers (linked), is gone or changed (not linked), or sysfs
// cannot be read at all (unknown).
#pragma once

#include <memory>
#include <string>

#include "platform/usb_printers.h"

namespace platform::posix {

// Over another sysfs and device folder (tests build a small tree of their own).
std::unique_ptr<UsbPrinters> MakeUsbPrinters(const std::string& sysRoot,
                                             const std::string& devRoot);

}  // namespace platform::posix
