// The serial and parallel links' port, reader start, read and close.
#include "links/local_port_link.h"

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace links {

namespace {

constexpr uint32_t kQueueBytes = 8192;
constexpr uint32_t kStartSettleMs = 250;

}  // namespace

bool LocalPortLink::OpenPort(const std::string& devicePath) {
  std::string why;
  std::unique_ptr<platform::SerialPort> port = ports_.OpenOrSayWhy(devicePath, true, why);
  if (!port) {
    Fail(kOpenRefused, why);
    return false;
  }
  std::lock_guard<std::mutex> g(portLock_);
  port_ = std::move(port);
  return true;
}

bool LocalPortLink::holdsPort() const {
  std::lock_guard<std::mutex> g(portLock_);
  return port_ != nullptr;
}

void LocalPortLink::PreparePort() {
  state().open = 1;
  port_->SetupQueues(kQueueBytes, kQueueBytes);
  port_->Purge(platform::kPurgeAll);
}

int LocalPortLink::StartReaderAskingStatus() {
  state().statusRequest = 1;
  return StartReaderAndWait(kStartSettleMs);
}

int LocalPortLink::Read(uint8_t* buffer, int size) {
  platform::SerialPort* p = port_.get();
  if (p == nullptr || size <= 0) return 0;
  // A port that cannot say what is queued (a printer device) is read all the
  // same; the read time-outs bound the read.
  if (p->QueuedInput() == 0) return 0;
  const int n = p->Read(buffer, size);
  if (n < 0) p->QueuedInput();  // clears the error state, as ClearCommError does
  return n > 0 ? n : 0;
}

int LocalPortLink::Close() {
  LinkState& st = state();
  st.open = 0;
  StopReader();
  std::lock_guard<std::mutex> g(portLock_);
  port_.reset();
  return 0;
}

}  // namespace links
