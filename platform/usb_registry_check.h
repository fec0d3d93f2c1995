// The registry link check of a USB printer interface. Windows keeps a key per
// device interface under DeviceClasses\{printer class}; its "#\Control"
// subkey says with "Linked" whether the device is present, and a
// "recyclable" value under "#\Device Parameters" marks an interface that is
// being removed. Portable: it reads through the Registry interface, so it is
// tested on the fake registry; the Win32 USB printers run it on the real one.
#pragma once

#include <string>

namespace platform {

class Registry;

// The interface's key path below HKEY_LOCAL_MACHINE, backslashes of the
// device path replaced by number signs.
std::string UsbInterfaceKey(const std::string& devicePath);

// kUsbLinked, kUsbNotLinked or kUsbLinkUnknown (see usb_printers.h):
//  - Control opens: "Linked" cannot be read -> unknown; above 0 -> linked;
//    else not linked;
//  - no Control: no Device Parameters either -> linked; Device Parameters
//    with a "recyclable" value -> not linked; without -> linked.
int CheckUsbRegistryLink(Registry& registry, const std::string& devicePath, bool view64);

}  // namespace platform
