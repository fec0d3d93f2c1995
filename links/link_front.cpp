// LinkFront: link selection, routing and the print-result wait.
#include "links/link_front.h"

#include <array>
#include <utility>

#include "links/com_link.h"
#include "links/escpos.h"
#include "links/lpt_link.h"
#include "links/tcp_link.h"
#include "links/usb_link.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace links {

namespace {

struct RateEntry {
  int baudRate;
  int index;
};
constexpr std::array<RateEntry, 8> kRates = {
    {{1200, 3}, {2400, 4}, {4800, 5}, {9600, 6}, {19200, 7}, {38400, 8}, {57600, 9}, {115200, 10}}};

int SameParameter(int parameter) { return parameter; }

template <typename Link>
std::unique_ptr<DeviceLink> MakeSerialStyle(platform::Platform& p, ReaderMode mode) {
  if (p.serialPorts == nullptr) return nullptr;
  return std::make_unique<Link>(*p.clock, *p.serialPorts, mode);
}

std::unique_ptr<DeviceLink> MakeUsb(platform::Platform& p, ReaderMode mode) {
  if (p.usb == nullptr || p.processes == nullptr) return nullptr;
  return std::make_unique<UsbLink>(*p.clock, *p.usb, *p.processes, mode);
}

std::unique_ptr<DeviceLink> MakeTcp(platform::Platform& p, ReaderMode mode) {
  if (p.sockets == nullptr) return nullptr;
  return std::make_unique<TcpLink>(*p.clock, *p.sockets, *p.system, mode);
}

// The device links, one row each; a link's kind is its row's number: the
// first three characters of a target that pick the link (case-sensitive;
// null, in the last row: any other target), the link's parameter from the
// caller's, whether any failed open reads as kOpenFailed, and how this build
// makes the link (null where the platform lacks what it needs). Adding a
// link is a row here and its class.
struct LinkRow {
  const char* prefix;
  int (*parameter)(int);
  bool plainFailure;
  std::unique_ptr<DeviceLink> (*make)(platform::Platform&, ReaderMode);
};
constexpr LinkRow kLinks[] = {
    {"COM", RateIndex, true, MakeSerialStyle<ComLink>},
    {"LPT", SameParameter, true, MakeSerialStyle<LptLink>},
    {"USB", SameParameter, false, MakeUsb},
    {nullptr, SameParameter, false, MakeTcp},
};
constexpr int kLinkRows = static_cast<int>(std::size(kLinks));
static_assert(kLinkRows <= kMaxLinkKinds);
static_assert(kLinks[kLinkRows - 1].prefix == nullptr, "the last row takes any other target");

// A selected kind without a link reads as a printer that never says anything.
const LinkState& IdleState() {
  static const LinkState idle;
  return idle;
}

}  // namespace

int LinkKindOf(const std::string& target) {
  const std::string prefix = target.substr(0, 3);
  int kind = 0;
  while (kLinks[kind].prefix != nullptr && prefix != kLinks[kind].prefix) ++kind;
  return kind;
}

int LinkKindCount() { return kLinkRows; }

int RateIndex(int baudRate) {
  for (const RateEntry& r : kRates) {
    if (r.baudRate == baudRate) return r.index;
  }
  return 0;
}

int BaudRateOfIndex(int index) {
  for (const RateEntry& r : kRates) {
    if (r.index == index) return r.baudRate;
  }
  return 0;
}

LinkFront::LinkFront(platform::Clock& clock, platform::System& system,
                     platform::PrintSpooler* spooler, DeviceLinks links)
    : clock_(clock), system_(system), spooler_(spooler), links_(std::move(links)) {}

LinkFront::~LinkFront() = default;

DeviceLink* LinkFront::deviceLink(int kind) const {
  return kind >= 0 && kind < kLinkRows ? links_[static_cast<size_t>(kind)].get() : nullptr;
}

DeviceLink* LinkFront::Selected() const { return deviceLink(linkKind_); }

int LinkFront::OpenLink(const std::string& target, int parameter) {
  if (parameter == 1) {
    spoolerMode_ = 1;
    const int result = spooler_.Open(target);
    spoolerOpen_ = result == 0 ? 1 : 0;
    return result;
  }
  spoolerMode_ = 0;
  return OpenDeviceLink(target, parameter);
}

int LinkFront::OpenDeviceLink(const std::string& target, int parameter) {
  const int kind = LinkKindOf(target);
  const LinkRow& row = kLinks[kind];
  linkKind_ = kind;

  DeviceLink* link = deviceLink(kind);
  if (link == nullptr) return kOpenFailed;
  const int result = link->Open(target, row.parameter(parameter));
  if (result == kOpened) return kOpened;
  // A failed open leaves nothing open.
  link->Close();
  return row.plainFailure ? kOpenFailed : result;
}

int LinkFront::CloseLink() {
  if (spoolerMode_) {
    if (!spoolerOpen_) return 2;
    // A refused end keeps the document open.
    const int result = spooler_.Close();
    if (result != -1) spoolerOpen_ = 0;
    return result;
  }
  if (DeviceLink* link = Selected()) {
    link->DisableStatus();
    link->Close();
  }
  return 0;
}

int LinkFront::WriteLink(const uint8_t* data, int length) {
  int result;
  bool all;
  if (spoolerMode_) {
    result = spoolerOpen_ ? spooler_.Write(data, length) : kWriteNoDocument;
    all = result == kWriteDone;
  } else {
    DeviceLink* link = Selected();
    if (unconfirmed_ == 0) lossesAtFirstWrite_ = ConnectionLosses();
    unconfirmed_ += static_cast<uint64_t>(length > 0 ? length : 0);
    result = link ? link->Write(data, length) : kWriteNoConnection;
    all = link && link->WroteAll(result, length);
  }
  if (!all && length > 0) undelivered_ += static_cast<uint64_t>(length);
  return result;
}

uint64_t LinkFront::TakeUndelivered() { return undelivered_.exchange(0); }

std::string LinkFront::FailureCause() {
  // Writes without a document keep the cause of the open that failed.
  if (spoolerMode_) return spooler_.failureCause();
  if (const DeviceLink* link = Selected()) return link->failureCause();
  return "this build has no link of that kind";
}

uint64_t LinkFront::TakeDroppedReplies() {
  if (spoolerMode_) return 0;
  DeviceLink* link = Selected();
  return link ? link->TakeDroppedReplies() : 0;
}

unsigned LinkFront::GetStatus() {
  if (spoolerMode_) return kPrinterOk;
  const DeviceLink* link = Selected();
  const LinkState& st = link ? link->state() : IdleState();
  if (st.coverOpen) return kCoverOpen;
  if (st.paperNearEnd) return kPaperNearEnd;
  if (st.paperEnd) return kPaperOut;
  if (st.printerOff) return kPrinterPowerOff;
  return kPrinterOk;
}

int LinkFront::SetReplyPort(std::shared_ptr<platform::SerialPort> port) {
  if (spoolerMode_) return 0;
  if (DeviceLink* link = Selected()) link->SetReplyPort(std::move(port));
  return 0;
}

unsigned LinkFront::TakeReplyCopy(ReplyCopy& buffer) {
  if (spoolerMode_) return 0;
  DeviceLink* link = Selected();
  return link ? link->TakeReplyCopy(buffer) : 0;
}

// The printer's answer is recognised by the link's reader, which sets
// printDone; this loop only watches the flags.
unsigned LinkFront::WaitPrintResult(uint32_t timeoutMs, const std::atomic<int>* abandon) {
  // The spooler prints a document when it ends: the job's document ends
  // here, and the next job starts a new one. A document the spooler will not
  // end is no printed job.
  if (spoolerMode_) return !spoolerOpen_ || spooler_.EndJob() ? kPrinterOk : kJobIncomplete;
  // A job sent into a connection the printer had closed (switched off for a
  // moment, or an idle connection it dropped) is gone, yet the link connects
  // again and the new connection answers the process-ID request: a job whose
  // bytes met a lost connection is not confirmed by that answer.
  const bool written = unconfirmed_ > 0;
  const uint32_t losses = lossesAtFirstWrite_;
  unsigned result = WaitDeviceResult(timeoutMs, abandon);
  if (result == kPrinterOk && written && ConnectionLosses() != losses) result = kJobIncomplete;
  unconfirmed_ = 0;
  return result;
}

uint32_t LinkFront::ConnectionLosses() const {
  const DeviceLink* link = Selected();
  return link ? link->connectionLosses() : 0;
}

unsigned LinkFront::WaitDeviceResult(uint32_t timeoutMs, const std::atomic<int>* abandon) {
  DeviceLink* link = Selected();
  LinkState* st = link ? &link->state() : nullptr;
  const LinkState& flags = st ? *st : IdleState();
  auto fault = [&flags]() -> unsigned {
    if (flags.coverOpen) return kCoverOpen;
    if (flags.paperEnd) return kPaperOut;
    if (flags.printerOff) return kPrinterPowerOff;
    return kPrinterOk;
  };

  // The job may have reset the printer (ESC @ switches its Automatic Status
  // Back off): ask for it again, so that a fault from now on is seen. The
  // answer, the printer's present status, arrives within the pause; it is
  // the relay's, and the application does not get it.
  if (link) link->AskStatusBack();
  auto abandoned = [abandon] { return abandon != nullptr && abandon->load() != 0; };
  for (int i = 0; i < 10 && !abandoned(); ++i) clock_.SleepMs(100);
  if (abandoned()) return kNoResponse;
  // Paper near end does not stop the wait.
  if (const unsigned f = fault()) return f;

  if (st) st->printDone = 0;
  WriteLink(kProcessIdRequest, sizeof kProcessIdRequest);

  uint32_t start = 0;
  for (bool first = true;; first = false) {
    if (first) {
      start = clock_.NowMs();
    } else if (clock_.NowMs() - start >= timeoutMs) {
      if (linkKind_ == kLinkUsb) system_.DebugOutput("Timeout !!!!!!!!!!!!!!!!!!");
      return kNoResponse;
    }
    clock_.SleepMs(100);
    if (abandoned()) return kNoResponse;
    if (flags.printDone) {
      clock_.SleepMs(100);
      return kPrinterOk;
    }
    if (const unsigned f = fault()) return f;
  }
}

std::unique_ptr<LinkFront> NewLinkFront(platform::Platform& platform, ReaderMode mode) {
  DeviceLinks links;
  for (int kind = 0; kind < kLinkRows; ++kind) links[kind] = kLinks[kind].make(platform, mode);
  return std::make_unique<LinkFront>(*platform.clock, *platform.system, platform.spooler,
                                     std::move(links));
}

}  // namespace links
