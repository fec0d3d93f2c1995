// UsbLink: finding and opening the printer, probe, pieced write, reconnect,
// reader turn and close.
#include "links/usb_link.h"

#include <algorithm>
#include <array>
#include <vector>

#include "links/escpos.h"
#include "links/serial_status_table.h"
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/serial_port.h"
#include "platform/usb_printers.h"

namespace links {

namespace {

// The printers this link accepts: the first 25 characters of their interface
// path, compared case-sensitively.
constexpr size_t kPrefixLength = 25;
constexpr std::array<const char*, 3> kAcceptedPrefixes = {
    "\\\\?\\usb#vid_0525&pid_a700", "\\\\?\\usb#vid_0525&pid_a701", "\\\\?\\usb#vid_0525&pid_a702"};
// Appended to the interface path for the printer's data.
constexpr char kDataSuffix[] = "\\USB0/4";
// Interface paths are kept in a 256-byte buffer.
constexpr size_t kPathLimit = 255;

constexpr uint32_t kProbeLimitMs = 500;
constexpr uint32_t kProbeAnswerMs = 10;
constexpr uint32_t kProbePauseMs = 100;
constexpr uint32_t kStartSettleMs = 250;
constexpr uint32_t kCloseSettleMs = 700;
constexpr uint32_t kThreadEndWaitMs = 1000;
constexpr uint32_t kNoProgressPauseMs = 10;

constexpr uint8_t kZeroByte[] = {0x00};

bool Is64Bit(int processorArchitecture) {
  return processorArchitecture == platform::kProcessorAmd64 ||
         processorArchitecture == platform::kProcessorIa64;
}

bool Accepted(const std::string& path) {
  return std::any_of(kAcceptedPrefixes.begin(), kAcceptedPrefixes.end(), [&](const char* p) {
    return path.compare(0, kPrefixLength, p) == 0 && path.size() >= kPrefixLength;
  });
}

// The reply some printers give when a job is done: 3B 31 00 at the end of a
// 3- or 4-byte block.
bool IsDoneReply(const ReaderBlock& block) {
  const int n = block.length;
  return (n == 3 || n == 4) && block.bytes[n - 3] == 0x3B && block.bytes[n - 2] == 0x31 &&
         block.bytes[n - 1] == 0x00;
}

}  // namespace

UsbLink::UsbLink(platform::Clock& clock, platform::UsbPrinters& usb, platform::Processes& machine,
                 ReaderMode mode)
    : DeviceLink(clock, mode), usb_(usb), machine_(machine), mode_(mode) {}

UsbLink::~UsbLink() {
  Close();
  // Threads that outlived Close's bounded waits must end before the members go.
  StopReader();
  if (reconnect_.Started()) reconnect_.WaitEnded();
}

std::shared_ptr<platform::SerialPort> UsbLink::Device() const {
  std::lock_guard<std::mutex> g(deviceLock_);
  return device_;
}

void UsbLink::SetDevice(std::shared_ptr<platform::SerialPort> device) {
  std::lock_guard<std::mutex> g(deviceLock_);
  device_ = std::move(device);
}

bool UsbLink::holdsDevice() const { return Device() != nullptr; }

std::string UsbLink::devicePath() const {
  std::lock_guard<std::mutex> g(deviceLock_);
  return devicePath_;
}

int UsbLink::Open(const std::string&, int) {
  if (!EarlierThreadsEnded()) return Fail(kOpenNotReady, "the last connection has not ended yet");
  connected_ = 0;
  stopReconnect_ = 0;
  libraryLoaded_ = usb_.LoadSetupLibrary();
  if (libraryLoaded_) {
    bool found;
    {
      std::lock_guard<std::mutex> g(writeLock_);
      found = OpenDevice();
    }
    if (!found) {
      ReleaseLibrary();
      return kOpenFailed;
    }
  }
  state().open = 1;
  arch64_ = Is64Bit(machine_.ProcessorArchitecture()) ? 1 : 0;
  const int probe = Probe();
  if (probe != 0) return probe;
  return StartReaderAskingStatus();
}

// The first present interface with an accepted prefix that can be opened.
bool UsbLink::FindPrinter(std::string& path) {
  std::vector<std::string> paths;
  usb_.ListPrinters(paths);
  Fail(0, "no USB printer found");
  for (const std::string& listed : paths) {
    const std::string candidate = listed.substr(0, kPathLimit);
    if (!Accepted(candidate)) continue;
    {
      std::lock_guard<std::mutex> g(deviceLock_);
      devicePath_ = candidate;
    }
    if (usb_.Open(candidate, false) != nullptr) {
      path = candidate;
      return true;
    }
    Fail(0, OsCause(usb_.LastError(), "the USB printer cannot be opened"));
  }
  return false;
}

// Finds the printer and replaces the device with it; writeLock_ is held.
// Every open sets the time-outs: a reopened device without them could make
// the reader wait for ever.
bool UsbLink::OpenDevice() {
  std::string path;
  if (!FindPrinter(path)) return false;
  SetDevice(nullptr);
  std::unique_ptr<platform::SerialPort> port = usb_.Open(path + kDataSuffix, true);
  if (!port) {
    Fail(0, OsCause(usb_.LastError(), "the USB printer cannot be opened"));
    return false;
  }
  port->SetTimeouts({50, 0, 100, kMsPerByte, kPieceBaseMs});
  SetDevice(std::move(port));
  return true;
}

// Real-time status: DLE EOT 2 for the cover, then DLE EOT 4 for the paper,
// repeated while the printer stays silent, for about 500 ms.
int UsbLink::Probe() {
  LinkState& st = state();
  st.coverOpen = 0;
  st.paperEnd = 0;
  st.statusRequest = 1;
  uint32_t start = 0;
  ReaderBlock paper;
  for (bool first = true;; first = false) {
    if (first) {
      start = clock().NowMs();
    } else if (clock().NowMs() - start > kProbeLimitMs) {
      return Fail(kOpenNotReady, "the printer did not answer the status request");
    }
    Write(kRealTimeStatusPrinter, sizeof kRealTimeStatusPrinter);
    clock().SleepMs(kProbeAnswerMs);
    ReaderBlock printer;
    printer.Grow(Read(printer.End(), printer.Room()));
    if (printer.length > 0) {
      if (printer.bytes[printer.length - 1] & kCoverOpenBit) {
        st.coverOpen = 1;
        return Fail(kOpenCoverOpen, "the printer's cover is open");
      }
      Write(kRealTimeStatusPaper, sizeof kRealTimeStatusPaper);
      clock().SleepMs(kProbeAnswerMs);
      paper.Grow(Read(paper.End(), paper.Room()));
      if (paper.length > 0) break;
    }
    clock().SleepMs(kProbePauseMs);
  }
  if (paper.bytes[paper.length - 1] & kPaperEndBits) {
    st.paperEnd = 1;
    return Fail(kOpenPaperOut, "the printer is out of paper");
  }
  return kOpened;
}

// As the serial link: the reader enables Automatic Status Back first thing,
// and the open succeeds however long the first status block takes; the
// printer answered the probe, so it is there.
int UsbLink::StartReaderAskingStatus() {
  connected_ = 1;
  state().statusRequest = 1;
  return StartReaderAndWait(kStartSettleMs);
}

int UsbLink::Write(const uint8_t* data, int length) {
  if (state().open == 0) return 0;
  std::lock_guard<std::mutex> g(writeLock_);
  const std::shared_ptr<platform::SerialPort> device = Device();
  const int total = std::max(length, 0);
  const uint32_t budget = kMsPerByte * static_cast<uint32_t>(total);
  const uint32_t start = clock().NowMs();
  int written = 0;
  bool failed = false;
  for (;;) {
    const int piece = std::min(kPieceBytes, total - written);
    const platform::WriteResult r =
        device ? device->WriteWithin(data + written, piece, kPieceBaseMs + budget)
               : platform::WriteResult{};
    written += r.count;
    // The device is gone or stuck: another try could only wait out the whole
    // budget of 300 ms per byte.
    if (!r.finished) {
      failed = true;
      Fail(0, device ? OsCause(device->LastError(), "the printer took nothing")
                     : "the printer is gone (connecting again)");
      if (state().open != 0 && connected_ != 0) StartReconnect();
      break;
    }
    if (written >= total) break;
    if (r.count == 0) clock().SleepMs(kNoProgressPauseMs);
    if (clock().NowMs() - start >= budget) break;
  }
  lastWriteTime_ = clock().NowMs();
  return failed ? kWriteFailed : kWriteDone;
}

// writeLock_ is held. One reconnect thread at a time: a thread that is still
// looping picks the new loss up itself.
void UsbLink::StartReconnect() {
  SetDevice(nullptr);
  std::lock_guard<std::mutex> g(reconnectLock_);
  connected_ = 0;
  if (mode_ == ReaderMode::kManual || reconnectRunning_) return;
  reconnectRunning_ = true;
  reconnect_.Start([this] {
    for (;;) {
      {
        std::lock_guard<std::mutex> g(reconnectLock_);
        if (connected_ != 0 || stopReconnect_ != 0) {
          reconnectRunning_ = false;
          return;
        }
      }
      ReconnectTurn();
    }
  });
}

void UsbLink::ReconnectTurn() {
  std::array<uint8_t, kReaderBlockSize> discard{};
  Read(discard.data(), static_cast<int>(discard.size()));
  clock().SleepMs(kReconnectPauseMs);

  std::lock_guard<std::mutex> g(writeLock_);
  // Close may have come meanwhile: it must not find the device reopened.
  if (stopReconnect_ != 0 || connected_ != 0) return;
  LinkState& st = state();
  const bool reopened = OpenDevice();
  st.open = reopened ? 1 : 0;
  if (reopened) {
    // Faults until the printer's first status block says otherwise.
    st.statusRequest = 1;
    st.printerOff = 0;
    st.coverOpen = 1;
    st.paperEnd = 1;
    connected_ = 1;
  } else {
    st.printerOff = 1;
    st.coverOpen = 0;
    st.paperEnd = 0;
  }
}

void UsbLink::StopReconnect() {
  {
    std::lock_guard<std::mutex> g(writeLock_);
    stopReconnect_ = 1;
    connected_ = 1;
  }
  if (reconnect_.Started()) reconnect_.WaitEnded(kThreadEndWaitMs);
}

// Close waits for the reader and the reconnect thread a bounded time only.
// One that outlived it keeps its stop request until it has ended: clearing
// it here would revive it beside this open's threads.
bool UsbLink::EarlierThreadsEnded() {
  if (!EarlierReaderEnded()) return false;
  if (!reconnect_.Running()) return true;
  {
    std::lock_guard<std::mutex> g(writeLock_);
    stopReconnect_ = 1;
    connected_ = 1;
  }
  return reconnect_.WaitEnded(kEarlierThreadWaitMs);
}

int UsbLink::Read(uint8_t* buffer, int size) {
  if (state().open == 0 || size <= 0) return 0;
  const std::shared_ptr<platform::SerialPort> device = Device();
  if (!device) return 0;
  std::lock_guard<std::mutex> g(readLock_);
  const int queued = device->QueuedInput();
  if (arch64_ == 0 && queued == 0) return 0;
  const int n = device->Read(buffer, size);
  if (n < 0) {
    device->QueuedInput();
    return 0;
  }
  return n;
}

void UsbLink::ReaderTurn() {
  LinkState& st = state();
  PauseBeforeTurn();
  if (st.statusRequest) EnableStatusBack();
  RunLinkCheck();

  ReaderBlock block;
  TimedRead(block);
  NoteBlock(block);
  if (block.length == kReaderBlockSize) {
    // A full buffer is a flood, not an answer for the application: ask for
    // the status afresh instead of forwarding it.
    st.statusRequest = 1;
    EnableStatusBack();
    WatchSplitReply(block);
    if (ProcessIdReplyAtEnd(block)) st.printDone = 1;
  } else {
    ForwardReply(block.bytes.data(), block.length);
    WatchSplitReply(block);
    if (block.length == 1 || block.length == 2) return;
    // The reply proves the printer is there; a device being replaced keeps
    // its reconnect going.
    if (IsDoneReply(block)) {
      st.printDone = 1;
      if (holdsDevice()) connected_ = 1;
    }
    if (ProcessIdReplyAtEnd(block)) st.printDone = 1;
  }
  if (ProcessIdReplyAtStart(block)) st.printDone = 1;

  RemoveKeepAlive(block);
  if (block.length >= 4) {
    st.readerStarted = 1;
    ApplyCoverBitTable(st, block, [&] { OnlineCountRule(block); });
  }
}

// Not linked: keep asking for status every turn. Unknown: a status request
// after 10 s without any write serves as a keep-alive that finds a lost
// device through its failing write.
void UsbLink::RunLinkCheck() {
  LinkState& st = state();
  switch (usb_.CheckLink(devicePath(), arch64_ != 0)) {
    case platform::kUsbNotLinked:
      st.statusRequest = 1;
      break;
    case platform::kUsbLinked:
      st.statusRequest = 0;
      break;
    default:
      st.statusRequest = 0;
      if (clock().NowMs() - lastWriteTime_ > kKeepAliveIdleMs) EnableStatusBack();
      break;
  }
}

void UsbLink::OnlineCountRule(const ReaderBlock& block) {
  if (OnlineCountsEqual(block) && connected_ == 1) EnableStatusBack();
}

// The zero byte goes out while the device is still open; only when it was
// taken is the setup library freed. It is forgotten either way.
void UsbLink::ReleaseLibrary() {
  if (!libraryLoaded_) return;
  if (Write(kZeroByte, sizeof kZeroByte) == 1) usb_.FreeSetupLibrary();
  libraryLoaded_ = false;
}

int UsbLink::Close() {
  ReleaseLibrary();
  if (ReaderRunning()) {
    state().stopReader = 1;
    clock().SleepMs(kCloseSettleMs);
    StopReader(kThreadEndWaitMs);
  }
  StopReconnect();
  {
    std::lock_guard<std::mutex> g(writeLock_);
    if (const std::shared_ptr<platform::SerialPort> device = Device()) {
      device->Purge(platform::kPurgeAll);
      SetDevice(nullptr);
    }
  }
  const int result = state().open != 0 ? 0 : 3;
  state().open = 0;
  return result;
}

}  // namespace links
