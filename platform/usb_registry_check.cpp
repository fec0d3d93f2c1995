// The USB printer registry link check.
#include "platform/usb_registry_check.h"

#include <cstdint>
#include <memory>

#include "platform/registry.h"
#include "platform/usb_printers.h"

namespace platform {

namespace {

constexpr char kPrinterClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\";

}  // namespace

std::string UsbInterfaceKey(const std::string& devicePath) {
  std::string key = kPrinterClassKey;
  for (char c : devicePath) key += c == '\\' ? '#' : c;
  return key;
}

int CheckUsbRegistryLink(Registry& registry, const std::string& devicePath, bool view64) {
  const std::string base = UsbInterfaceKey(devicePath);
  std::unique_ptr<RegistryKey> control;
  if (registry.OpenKey(base + "\\#\\Control", kKeyRead, view64, control) == kRegOk) {
    std::string data;
    if (control->QueryValue("Linked", 4, data) != kRegOk) return kUsbLinkUnknown;
    // A DWORD, little-endian; a shorter value reads as its bytes, zero-extended.
    uint32_t value = 0;
    for (size_t i = 0; i < data.size() && i < 4; ++i)
      value |= static_cast<uint32_t>(static_cast<uint8_t>(data[i])) << (8 * i);
    return static_cast<int32_t>(value) > 0 ? kUsbLinked : kUsbNotLinked;
  }
  std::unique_ptr<RegistryKey> parameters;
  if (registry.OpenKey(base + "\\#\\Device Parameters", kKeyRead, view64, parameters) != kRegOk)
    return kUsbLinked;
  uint32_t size = 0;
  return parameters->QueryValueSize("recyclable", size) == kRegOk ? kUsbNotLinked : kUsbLinked;
}

}  // namespace platform
