// The device links' shared state, reply forwarding and reader thread.
#include "links/device_link.h"

#include <cstring>
#include <utility>

#include "links/escpos.h"
#include "platform/clock.h"
#include "platform/os_error.h"
#include "platform/serial_port.h"

namespace links {

namespace {

constexpr int kStartWaitTurns = 16;
constexpr uint32_t kStartWaitMs = 200;
constexpr uint32_t kStatusBackSettleMs = 100;
constexpr uint32_t kSlowReadMs = 50;
constexpr int kSlowReadsForRequest = 2;

// The shape of an Automatic Status Back block's first four bytes.
bool StartsWithStatusBack(const uint8_t* d, int length) {
  return length >= 4 && (d[0] & 0x93) == 0x10 && (d[1] & 0x90) == 0 && (d[2] & 0x90) == 0 &&
         (d[3] & 0x90) == 0;
}

// The link whose reader runs on this thread, if any.
thread_local const DeviceLink* tReaderOf = nullptr;

}  // namespace

void LinkState::ReportCoverOpen() {
  coverOpen = 1;
  statusRequest = 1;
  paperNearEnd = 0;
  paperEnd = 0;
}

void LinkState::ReportPaperEnd() {
  paperEnd = 1;
  statusRequest = 1;
  coverOpen = 0;
  paperNearEnd = 0;
}

void LinkState::ReportNearEnd() {
  paperNearEnd = 1;
  coverOpen = 0;
  paperEnd = 0;
  statusRequest = 0;
}

void LinkState::ReportNormal() {
  coverOpen = 0;
  paperNearEnd = 0;
  paperEnd = 0;
  statusRequest = 0;
}

void DeviceLink::SetReplyPort(std::shared_ptr<platform::SerialPort> port) {
  std::lock_guard<std::mutex> g(replyLock_);
  replyPort_ = std::move(port);
}

unsigned DeviceLink::TakeReplyCopy(ReplyCopy& buffer) {
  std::lock_guard<std::mutex> forwarding(forwardLock_);
  std::lock_guard<std::mutex> g(replyLock_);
  const unsigned count = replyCopyLength_;
  std::memcpy(buffer.data(), replyCopy_.data(), count);
  replyCopy_.fill(0);
  replyCopyLength_ = 0;
  return count;
}

void DeviceLink::AskStatusBack() {
  ownStatusBackAnswer_ = true;
  Write(kStatusBackOn, sizeof kStatusBackOn);
}

bool DeviceLink::ForwardReply(const uint8_t* data, int length) {
  if (length <= 0) return false;
  // Only the block that comes next can be the answer; a later one is the
  // application's own.
  if (ownStatusBackAnswer_.exchange(false) && StartsWithStatusBack(data, length)) {
    data += 4;
    length -= 4;
    if (length == 0) return true;
  }
  std::shared_ptr<platform::SerialPort> port;
  {
    std::lock_guard<std::mutex> g(replyLock_);
    port = replyPort_;
  }
  if (!port) return false;
  platform::ModemStatus modem;
  if (!port->GetModemStatus(modem) || !modem.dsr) return false;
  std::lock_guard<std::mutex> forwarding(forwardLock_);
  const uint32_t wait = forwardStalled_ ? kStalledForwardWaitMs : kForwardWaitMs;
  const int written = port->Write(data, length, wait);
  if (written != length) {
    forwardStalled_ = true;
    droppedReplies_ += static_cast<uint64_t>(length - (written > 0 ? written : 0));
    return false;
  }
  forwardStalled_ = false;
  // 6-byte replies are left out of the copy kept for the log.
  if (length == 6) return true;
  std::lock_guard<std::mutex> g(replyLock_);
  if (replyCopyLength_ + static_cast<unsigned>(length) < kReplyCopySize) {
    std::memcpy(replyCopy_.data() + replyCopyLength_, data, static_cast<size_t>(length));
    replyCopyLength_ += static_cast<unsigned>(length);
  }
  return true;
}

void DeviceLink::PauseBeforeTurn() {
  if (moreWaiting_) {
    moreWaiting_ = false;
    return;
  }
  clock_.SleepMs(kTurnPauseMs);
}

void DeviceLink::StartReader() {
  if (mode_ == ReaderMode::kManual) return;
  reader_.Start([this] {
    tReaderOf = this;
    do {
      ReaderTurn();
    } while (state_.stopReader == 0);
  });
}

bool DeviceLink::OnReaderThread() const { return tReaderOf == this; }

void DeviceLink::StopReader() {
  if (!reader_.Started()) return;
  state_.stopReader = 1;
  reader_.WaitEnded();
}

bool DeviceLink::StopReader(uint32_t timeoutMs) {
  if (!reader_.Started()) return true;
  state_.stopReader = 1;
  return reader_.WaitEnded(timeoutMs);
}

bool DeviceLink::EarlierReaderEnded() {
  if (!reader_.Running()) return true;
  state_.stopReader = 1;
  if (reader_.WaitEnded(kEarlierThreadWaitMs)) return true;
  Fail(0, "the reader of the last connection has not ended yet");
  return false;
}

std::string DeviceLink::failureCause() const {
  std::lock_guard<std::mutex> g(causeLock_);
  return cause_;
}

int DeviceLink::Fail(int result, const std::string& cause) {
  std::lock_guard<std::mutex> g(causeLock_);
  cause_ = cause;
  return result;
}

std::string DeviceLink::OsCause(int code, const std::string& fallback) {
  return code != 0 ? platform::DescribeOsError(code) : fallback;
}

int DeviceLink::StartReaderAndWait(uint32_t settleMs) {
  state_.stopReader = 0;
  state_.paperNearEnd = 0;
  state_.printerOff = 0;
  state_.readerStarted = 0;
  slowReads_ = 0;
  moreWaiting_ = false;
  splitReply_.Reset();
  forwardStalled_ = false;
  StartReader();
  for (int i = 0; i < kStartWaitTurns && state_.readerStarted == 0; ++i)
    clock_.SleepMs(kStartWaitMs);
  clock_.SleepMs(settleMs);
  return 0;
}

void DeviceLink::EnableStatusBack() {
  Write(kStatusBackOn, sizeof kStatusBackOn);
  clock_.SleepMs(kStatusBackSettleMs);
}

void DeviceLink::TimedRead(ReaderBlock& block) {
  const uint32_t start = clock_.NowMs();
  block.Grow(Read(block.End(), block.Room()));
  if (clock_.NowMs() - start < kSlowReadMs) {
    slowReads_ = 0;
  } else if (++slowReads_ >= kSlowReadsForRequest) {
    slowReads_ = 0;
    state_.statusRequest = 1;
  }
}

}  // namespace links
