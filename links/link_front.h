// LinkFront: the service's one PrinterLink. OpenLink picks the spooler link
// (parameter 1) or a device link by the first three characters of the target
// ("USB", "COM", "LPT", anything else TCP/IP: the table kLinks in
// link_front.cpp, where adding a link is one row) and every later call goes
// to the link picked last. The device links are created once and live as long
// as the front; a kind this build has no link for fails to open with
// kOpenFailed.
//
// Threads: called from the user-interface thread and the relay worker
// without serialisation; the selection is kept in atomics and the links
// guard their own shared state.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "links/device_link.h"
#include "links/printer_link.h"
#include "links/spooler_link.h"

namespace platform {
class Clock;
class PrintSpooler;
class System;
struct Platform;
}  // namespace platform

namespace links {

// A device link's kind is the number of its row in kLinks (link_front.cpp),
// the one table of the links: the kind a target picks, by its first three
// characters ("COM3" the serial link, anything no row claims TCP/IP).
int LinkKindOf(const std::string& target);
// How many kinds kLinks has.
int LinkKindCount();
// The kinds the code names.
inline const int kLinkCom = LinkKindOf("COM");
inline const int kLinkLpt = LinkKindOf("LPT");
inline const int kLinkUsb = LinkKindOf("USB");
inline const int kLinkTcp = LinkKindOf("TCP/IP");

// One device link per kind, indexed by kind, with room for more rows than
// kLinks has; an empty slot is a kind this build cannot open.
inline constexpr int kMaxLinkKinds = 8;
using DeviceLinks = std::array<std::unique_ptr<DeviceLink>, kMaxLinkKinds>;

// Serial rates and the index the serial link takes: 1200 is 3 ... 115200 is
// 10; any other rate gives 0, which the serial link refuses.
int RateIndex(int baudRate);
// The rate of an index, 0 for an index outside 3 to 10.
int BaudRateOfIndex(int index);

class LinkFront : public PrinterLink {
 public:
  LinkFront(platform::Clock& clock, platform::System& system, platform::PrintSpooler* spooler,
            DeviceLinks links);
  ~LinkFront() override;

  int OpenLink(const std::string& target, int parameter) override;
  int CloseLink() override;
  int WriteLink(const uint8_t* data, int length) override;
  uint64_t TakeUndelivered() override;
  uint64_t TakeDroppedReplies() override;
  unsigned GetStatus() override;
  int SetReplyPort(std::shared_ptr<platform::SerialPort> port) override;
  unsigned TakeReplyCopy(ReplyCopy& buffer) override;
  unsigned WaitPrintResult(uint32_t timeoutMs, const std::atomic<int>* abandon = nullptr) override;
  std::string FailureCause() override;

  // The device link kind last selected (0 until the first device open).
  int linkKind() const { return linkKind_; }
  // 1 while the spooler link is the selected link.
  int spoolerMode() const { return spoolerMode_; }
  // 1 while the spooler document is open.
  int spoolerOpen() const { return spoolerOpen_; }
  // The link of a kind, null where this build has none.
  DeviceLink* deviceLink(int kind) const;

 private:
  DeviceLink* Selected() const;
  uint32_t ConnectionLosses() const;
  unsigned WaitDeviceResult(uint32_t timeoutMs, const std::atomic<int>* abandon);
  int OpenDeviceLink(const std::string& target, int parameter);

  platform::Clock& clock_;
  platform::System& system_;
  SpoolerLink spooler_;
  DeviceLinks links_;
  std::atomic<int> linkKind_{0};
  std::atomic<int> spoolerMode_{0};
  std::atomic<int> spoolerOpen_{0};
  std::atomic<uint64_t> undelivered_{0};
  // Bytes written since the last print result, and the selected link's count
  // of lost connections when the first of them was written.
  std::atomic<uint64_t> unconfirmed_{0};
  std::atomic<uint32_t> lossesAtFirstWrite_{0};
};

// The front over this build's links: serial and parallel on the platform's
// serial ports, USB on its USB printers (and its machine facts), TCP/IP on
// its sockets and the spooler link on its spooler.
std::unique_ptr<LinkFront> NewLinkFront(platform::Platform& platform,
                                        ReaderMode mode = ReaderMode::kThread);

}  // namespace links
