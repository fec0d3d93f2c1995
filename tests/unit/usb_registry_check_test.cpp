// The Windows registry link check of a USB printer interface, on the fake
// registry: its keys, its three outcomes and the 64-bit view.
#include "platform/usb_registry_check.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/usb_printers.h"
#include "tests/fakes/fake_registry.h"

namespace {

const std::string kPath =
    "\\\\?\\usb#vid_0525&pid_a700#5&1a2b3c4d&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string kKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\"
    "##?#usb#vid_0525&pid_a700#5&1a2b3c4d&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string kControl = kKey + "\\#\\Control";
const std::string kParameters = kKey + "\\#\\Device Parameters";

std::string Dword(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

TEST(UsbRegistryCheck, InterfaceKeyHasNumberSignsForBackslashes) {
  EXPECT_EQ(platform::UsbInterfaceKey(kPath), kKey);
}

TEST(UsbRegistryCheck, Outcomes) {
  const struct {
    const char* name;
    void (*set)(fakes::FakeRegistry&);
    int result;
  } cases[] = {
      {"Linked 1", [](fakes::FakeRegistry& r) { r.Set(kControl, "Linked", Dword(1)); },
       platform::kUsbLinked},
      {"Linked 0", [](fakes::FakeRegistry& r) { r.Set(kControl, "Linked", Dword(0)); },
       platform::kUsbNotLinked},
      {"Linked negative",
       [](fakes::FakeRegistry& r) { r.Set(kControl, "Linked", Dword(0xFFFFFFFF)); },
       platform::kUsbNotLinked},
      {"Linked missing", [](fakes::FakeRegistry& r) { r.MakeKey(kControl); },
       platform::kUsbLinkUnknown},
      {"Linked unreadable",
       [](fakes::FakeRegistry& r) {
         r.Set(kControl, "Linked", Dword(1));
         r.FailDataQuery(kControl, "Linked");
       },
       platform::kUsbLinkUnknown},
      {"no keys at all", [](fakes::FakeRegistry&) {}, platform::kUsbLinked},
      {"parameters marked recyclable",
       [](fakes::FakeRegistry& r) { r.Set(kParameters, "recyclable", ""); },
       platform::kUsbNotLinked},
      {"parameters without the mark",
       [](fakes::FakeRegistry& r) { r.Set(kParameters, "SymbolicName", "x"); },
       platform::kUsbLinked},
  };
  for (const auto& c : cases) {
    fakes::FakeRegistry registry;
    c.set(registry);
    EXPECT_EQ(platform::CheckUsbRegistryLink(registry, kPath, true), c.result) << c.name;
  }
}

TEST(UsbRegistryCheck, ReadsTheRequestedViewOnly) {
  fakes::FakeRegistry registry;
  platform::CheckUsbRegistryLink(registry, kPath, true);
  platform::CheckUsbRegistryLink(registry, kPath, false);
  EXPECT_EQ(registry.opens, (std::vector<std::string>{kControl + " [64]", kParameters + " [64]",
                                                      kControl, kParameters}));
}

}  // namespace
