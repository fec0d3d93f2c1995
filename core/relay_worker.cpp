// The relay worker's passes and jobs.
#include "core/relay_worker.h"

#include "core/relay_service.h"
#include "links/escpos.h"

namespace core {
namespace {

std::unique_ptr<platform::PortWait> NewPortWait(platform::Platform& platform) {
  std::unique_ptr<platform::PortSignals> signals = platform.serialPorts
                                                       ? platform.serialPorts->NewPortSignals()
                                                       : platform::NewSleepingPortSignals();
  return std::make_unique<platform::PortWait>(*platform.clock, std::move(signals));
}

}  // namespace

RelayWorker::RelayWorker(RelayService& service, links::PrinterLink& link)
    : service_(service),
      link_(link),
      status_(service, link, queue_),
      wait_(NewPortWait(service.platform())) {
  service_.stopFlag().WakeOnStop(wait_.get());
}

RelayWorker::~RelayWorker() {
  if (thread_.joinable()) {
    service_.stopFlag() = 1;
    thread_.join();
  }
  service_.stopFlag().WakeOnStop(nullptr);
}

bool RelayWorker::Start() {
  if (thread_.joinable()) {
    if (!ended_.IsSet()) {
      service_.log().WriteLog(kLogError, "the relay worker is still running: not started again");
      return false;
    }
    thread_.join();
  }
  ended_.Reset();
  thread_ = std::thread(&RelayWorker::Run, this);
  return true;
}

void RelayWorker::Stop() {
  service_.stopFlag() = 1;
  service_.platform().clock->SleepMs(1000);
  WaitEnded();
}

void RelayWorker::WaitEnded() {
  if (!thread_.joinable()) return;
  service_.view().WaitWhileResponsive(ended_);
  thread_.join();
}

void RelayWorker::Run() {
  buffer_.fill(0);
  replies_.fill(0);
  StopFlag& stop = service_.stopFlag();
  inputReported_ = false;
  while (!stop.load()) {
    const bool served = RunPass();
    if (stop.load()) break;
    status_.IdleWatch();
    PauseAfterPass(served);
  }
  ended_.Set();
}

bool RelayWorker::RunPass() {
  VirtualPortTable& ports = service_.ports();
  bool served = false;
  for (int i = 0; i < ports.count && i < VirtualPortTable::kSlots; ++i) {
    if (service_.stopFlag().load()) break;
    std::shared_ptr<platform::SerialPort> port = ports.handles[static_cast<size_t>(i)];
    if (!port) continue;
    buffer_.fill(0);
    int n = port->Read(buffer_.data(), kReadBufferSize);
    if (n <= 0) continue;
    ServeJob(i, n);
    served = true;
  }
  LogDroppedReplies();
  return served;
}

// The pause ends as soon as a job's first bytes arrive on any open relay
// end, or a stop is asked, and after kPassPauseMs at the latest.
void RelayWorker::PauseAfterPass(bool served) {
  VirtualPortTable& ports = service_.ports();
  waitPorts_.clear();
  // A port that reported input the pass could not read would end every
  // pause at once: this pause is slept out instead (a stop still ends it).
  if (served || !inputReported_) {
    for (int i = 0; i < ports.count && i < VirtualPortTable::kSlots; ++i)
      if (ports.handles[static_cast<size_t>(i)])
        waitPorts_.push_back(ports.handles[static_cast<size_t>(i)].get());
  }
  inputReported_ = wait_->Wait(waitPorts_, kPassPauseMs, kIdlePollMs) == platform::WaitEnd::kInput;
}

// An application that keeps its port open without reading it gets no more
// replies once the port is full; the link drops them instead of waiting.
void RelayWorker::LogDroppedReplies() {
  const uint64_t dropped = link_.TakeDroppedReplies();
  if (dropped == 0) return;
  service_.log().WriteLog(kLogDebug,
                          "%s port : %d bytes of printer replies dropped: the application does "
                          "not read its port",
                          replyPortName_.c_str(), static_cast<int>(dropped));
}

// Only the first chunk of a job is classified, and only for the log.
void RelayWorker::ClassifyFirstChunk(int length) {
  if (length < 4) return;
  Log& log = service_.log();
  if (buffer_[0] == links::kGsA[0] && buffer_[1] == links::kGsA[1]) {
    log.WriteLog(kLogDebug, "GS a command");
  } else if (buffer_[0] == links::kDleEot[0] && buffer_[1] == links::kDleEot[1]) {
    if (buffer_[2] >= 1 && buffer_[2] <= 4)
      log.WriteLog(kLogDebug, "DLE EOT %d", buffer_[2]);
    else
      log.WriteLog(kLogDebug, "DLE EOT other");
  }
}

void RelayWorker::LogReplies() {
  LogDroppedReplies();
  unsigned n = link_.TakeReplyCopy(replies_);
  if (n == 0) return;
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(n * 2);
  for (unsigned i = 0; i < n && i < replies_.size(); ++i) {
    hex += kHex[replies_[i] >> 4];
    hex += kHex[replies_[i] & 0x0F];
  }
  service_.log().WriteLog(kLogDebug, "%s", hex.c_str());
}

// With real-time checking off the printer is opened per job. A printer that
// cannot be opened is retried until it can, but a stop request still ends the
// worker: the attempts are paced and the stop flag is checked between them.
bool RelayWorker::OpenPrinterForJob(const std::string& portName) {
  StopFlag& stop = service_.stopFlag();
  platform::Clock& clock = *service_.platform().clock;
  while (service_.OpenPrinterAsConfigured() != links::kOpened) {
    if (stop.load()) break;
    service_.LogPrinterFailure();
    service_.ShowPrinterMessage(service_.Say(texts::kConnectionFailure), kStatusError, stop.flag());
    for (uint32_t waited = 0; waited < kReconnectPauseMs && !stop.load(); waited += 100)
      clock.SleepMs(100);
    if (stop.load()) break;
  }
  if (!stop.load()) return true;
  service_.log().WriteLog(kLogError, "%s port : job stopped before the printer could be opened",
                          portName.c_str());
  return false;
}

void RelayWorker::ServeJob(int index, int firstLength) {
  VirtualPortTable& ports = service_.ports();
  RelaySettings& settings = service_.settings();
  Log& log = service_.log();
  platform::Clock& clock = *service_.platform().clock;
  StopFlag& stop = service_.stopFlag();
  std::shared_ptr<platform::SerialPort> port = ports.handles[static_cast<size_t>(index)];
  platform::SerialPort* waitPort = port.get();
  const std::string name = ports.Name(index);

  LogDroppedReplies();  // still the last job's port
  link_.SetReplyPort(port);
  replyPortName_ = name;
  log.WriteLog(kLogDebug, "%s Port ---", name.c_str());
  ClassifyFirstChunk(firstLength);
  LogReplies();

  const bool perJobLink = !settings.realtimeOn;
  if (perJobLink && !OpenPrinterForJob(name)) return;

  link_.TakeUndelivered();  // Counts only this job's writes.
  // A job cut short by a stop request left its chunks: a reprint of this
  // job must not print them.
  queue_.Clear();
  link_.WriteLink(buffer_.data(), firstLength);
  if (settings.reprintOn) queue_.Append(buffer_.data(), firstLength);

  int total = firstLength;
  uint32_t last = clock.NowMs();
  bool inputReported = false;
  bool settled = false;
  while (!stop.load()) {
    buffer_.fill(0);
    int n = port->Read(buffer_.data(), kReadBufferSize);
    if (n > 0) {
      inputReported = false;
      total += n;
      link_.WriteLink(buffer_.data(), n);
      if (settings.reprintOn) queue_.Append(buffer_.data(), n);
      LogReplies();
      last = clock.NowMs();
      continue;
    }
    const uint32_t timeout = settings.receiveTimeoutMs;
    const uint32_t idle = clock.NowMs() - last;
    // The job ends at the first empty read more than the time-out after the
    // last data (a time-out of 0: at the first empty read).
    if (timeout == 0 || idle > timeout) {
      log.WriteLog(kLogDebug, "TIMEOUT : %s port %d-bytes end  = %d", name.c_str(), total,
                   static_cast<int>(idle));
      // A confirmation only covers what the printer got: a job with a failed
      // write is not reported as printed.
      const uint64_t lost = link_.TakeUndelivered();
      if (lost > 0) {
        log.WriteLog(kLogError,
                     "%s port : %d bytes of the job were not written to the printer %s: %s",
                     name.c_str(), static_cast<int>(lost), service_.PrinterName().c_str(),
                     service_.PrinterFailureCause().c_str());
      }
      settled = status_.JobEnd(lost > 0);
      break;
    }
    // Instead of reading again at once, wait for input: the wait ends as soon
    // as data arrives, or just past the time-out. Input the port reported
    // but the read did not get is not waited for again in this gap.
    const uint32_t wait = timeout - idle + 1;
    const std::span<platform::SerialPort* const> waitOn(&waitPort, inputReported ? 0 : 1);
    inputReported = wait_->Wait(waitOn, wait < kLongestWaitMs ? wait : kLongestWaitMs,
                                kJobPollMs) == platform::WaitEnd::kInput;
  }

  // A stop request (closing, a port refresh) does not wait for the printer.
  if (!settled) {
    log.WriteLog(kLogError,
                 "%s port : job of %d bytes abandoned: the relay stopped before the printer "
                 "confirmed it",
                 name.c_str(), total);
  }
  if (perJobLink) link_.CloseLink();
}

}  // namespace core
