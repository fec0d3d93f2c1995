// The device links' shared state, reply forwarding and reader thread.
#include "links/device_link.h"

#include <cstring>
#include <utility>

#include "platform/serial_port.h"

namespace links {

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
  std::lock_guard<std::mutex> g(replyLock_);
  const unsigned count = replyCopyLength_;
  std::memcpy(buffer.data(), replyCopy_.data(), count);
  replyCopy_.fill(0);
  replyCopyLength_ = 0;
  return count;
}

bool DeviceLink::ForwardReply(const uint8_t* data, int length) {
  if (length <= 0) return false;
  std::shared_ptr<platform::SerialPort> port;
  {
    std::lock_guard<std::mutex> g(replyLock_);
    port = replyPort_;
  }
  if (!port) return false;
  platform::ModemStatus modem;
  if (!port->GetModemStatus(modem) || !modem.dsr) return false;
  if (port->Write(data, length, 0) != length) return false;
  // 6-byte replies are left out of the copy kept for the log.
  if (length == 6) return true;
  std::lock_guard<std::mutex> g(replyLock_);
  if (replyCopyLength_ + static_cast<unsigned>(length) < kReplyCopySize) {
    std::memcpy(replyCopy_.data() + replyCopyLength_, data, static_cast<size_t>(length));
    replyCopyLength_ += static_cast<unsigned>(length);
  }
  return true;
}

void DeviceLink::StartReader() {
  if (mode_ == ReaderMode::kManual) return;
  reader_.Start([this] {
    do {
      ReaderTurn();
    } while (state_.stopReader == 0);
  });
}

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

}  // namespace links
