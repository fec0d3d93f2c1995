// The relay worker's passes and jobs.
#include "core/relay_worker.h"

#include <chrono>

#include "core/format.h"
#include "core/journal_reader.h"
#include "core/relay_service.h"
#include "links/escpos.h"

namespace core {
namespace {

// Real-time status requests only (DLE EOT n, DLE ENQ n), one or more: the
// printer answers them even while it cannot print.
bool IsStatusRequest(std::string_view bytes) {
  if (bytes.empty() || bytes.size() % 3 != 0) return false;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    if (bytes[i] != 0x10 || (bytes[i + 1] != 0x04 && bytes[i + 1] != 0x05)) return false;
  }
  return true;
}

std::string_view View(const uint8_t* data, int length) {
  return {reinterpret_cast<const char*>(data), static_cast<size_t>(length)};
}

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
  platform::Clock& clock = *service_.platform().clock;
  inputReported_ = false;
  held_.clear();
  lastPruneMs_ = clock.NowMs();
  Recover();
  while (!stop.load()) {
    const bool served = RunPass();
    if (stop.load()) break;
    status_.IdleWatch();
    // The printer is usable now (or a stop was asked): what waited for it.
    if (!stop.load() && reprintsQueued() > 0) {
      ServeHeld();
      ServeReprints();
    }
    if (Journal* journal = service_.journal();
        journal && clock.NowMs() - lastPruneMs_ >= kPruneEveryMs) {
      journal->Prune();
      lastPruneMs_ = clock.NowMs();
    }
    PauseAfterPass(served || !held_.empty());
  }
  EndHeldIntake();
  DropReprints();
  ended_.Set();
}

bool RelayWorker::RunPass() {
  VirtualPortTable& ports = service_.ports();
  bool served = !held_.empty();
  ServeHeld();
  for (int i = 0; i < ports.count && i < VirtualPortTable::kSlots; ++i) {
    if (service_.stopFlag().load()) break;
    std::shared_ptr<platform::SerialPort> port = ports.handles[static_cast<size_t>(i)];
    if (!port) continue;
    buffer_.fill(0);
    int n = port->Read(buffer_.data(), kReadBufferSize);
    if (n <= 0) continue;
    ServeJob(i, View(buffer_.data(), n), 0);
    served = true;
    // A fault during that job may have held more behind it.
    ServeHeld();
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
void RelayWorker::ClassifyFirstChunk(std::string_view first) {
  if (first.size() < 4) return;
  Log& log = service_.log();
  const auto at = [&](size_t i) { return static_cast<uint8_t>(first[i]); };
  if (at(0) == links::kGsA[0] && at(1) == links::kGsA[1]) {
    log.WriteLog(kLogDebug, "GS a command");
  } else if (at(0) == links::kDleEot[0] && at(1) == links::kDleEot[1]) {
    if (at(2) >= 1 && at(2) <= 4)
      log.WriteLog(kLogDebug, "DLE EOT %d", at(2));
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

// The printer link ready for a job from `name`, its replies going to `port`.
bool RelayWorker::BeginJob(const std::string& name, std::shared_ptr<platform::SerialPort> port) {
  LogDroppedReplies();  // still the last job's port
  link_.SetReplyPort(std::move(port));
  replyPortName_ = name;
  service_.log().WriteLog(kLogDebug, "%s Port ---", name.c_str());
  if (!service_.settings().realtimeOn && !OpenPrinterForJob(name)) return false;
  link_.TakeUndelivered();  // Counts only this job's writes.
  // A job cut short by a stop request left its chunks: a reprint of this
  // job must not print them.
  queue_.Clear();
  return true;
}

void RelayWorker::Forward(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size(); at += kReadBufferSize) {
    const std::string_view part = bytes.substr(at, kReadBufferSize);
    const auto* data = reinterpret_cast<const uint8_t*>(part.data());
    const int length = static_cast<int>(part.size());
    link_.WriteLink(data, length);
    if (service_.settings().reprintOn) queue_.Append(data, length);
  }
}

void RelayWorker::WaitDurable(std::future<bool> done) {
  if (!done.valid()) return;
  if (done.wait_for(std::chrono::milliseconds(kDurableWaitMs)) == std::future_status::ready) return;
  service_.log().WriteLog(kLogDebug, "Journal : a job's end is not yet on the disk after %u ms",
                          static_cast<unsigned>(kDurableWaitMs));
}

// The job's bytes are all with the printer (or not: `lost`): its state goes to
// the journal, and the status check confirms it.
void RelayWorker::EndJob(const std::string& name, int total, uint64_t id, JobState firstState) {
  Journal* journal = service_.journal();
  // A confirmation only covers what the printer got: a job with a failed
  // write is not reported as printed.
  const uint64_t lost = link_.TakeUndelivered();
  if (lost > 0) {
    service_.log().WriteLog(kLogError,
                            "%s port : %d bytes of the job were not written to the printer %s: %s",
                            name.c_str(), static_cast<int>(lost), service_.PrinterName().c_str(),
                            service_.PrinterFailureCause().c_str());
  }
  if (journal) journal->AppendState(id, firstState);
  status_.SetJob(id);
  const bool settled = status_.JobEnd(lost > 0);
  status_.SetJob(0);
  // A stop request (closing, a port refresh) does not wait for the printer;
  // the journal keeps the job as unconfirmed, and the next start offers it.
  if (!settled) {
    service_.log().WriteLog(kLogError,
                            "%s port : job of %d bytes abandoned: the relay stopped before the "
                            "printer confirmed it",
                            name.c_str(), total);
  }
  if (!service_.settings().realtimeOn) link_.CloseLink();
}

void RelayWorker::ServeJob(int index, std::string_view first, uint64_t id) {
  VirtualPortTable& ports = service_.ports();
  RelaySettings& settings = service_.settings();
  Log& log = service_.log();
  platform::Clock& clock = *service_.platform().clock;
  StopFlag& stop = service_.stopFlag();
  Journal* journal = service_.journal();
  std::shared_ptr<platform::SerialPort> port = ports.handles[static_cast<size_t>(index)];
  platform::SerialPort* waitPort = port.get();
  const std::string name = ports.Name(index);

  if (!BeginJob(name, port)) {
    // Stopped before the printer could be opened: the next start prints it.
    if (journal && id == 0) id = journal->AppendArrival(name, first);
    if (journal) journal->MarkReceived(id);
    return;
  }
  ClassifyFirstChunk(first);
  LogReplies();
  // The printer first, then the journal: forwarding never waits for it.
  Forward(first);
  if (journal && id == 0) id = journal->AppendArrival(name, first);

  int total = static_cast<int>(first.size());
  uint32_t last = clock.NowMs();
  bool inputReported = false;
  while (!stop.load()) {
    buffer_.fill(0);
    int n = port->Read(buffer_.data(), kReadBufferSize);
    if (n > 0) {
      inputReported = false;
      total += n;
      Forward(View(buffer_.data(), n));
      if (journal) journal->AppendBytes(id, View(buffer_.data(), n));
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
      // On stable storage before the printer is asked to confirm it.
      if (journal) WaitDurable(journal->MarkReceived(id));
      EndJob(name, total, id, JobState::kSent);
      return;
    }
    // Instead of reading again at once, wait for input: the wait ends as soon
    // as data arrives, or just past the time-out. Input the port reported
    // but the read did not get is not waited for again in this gap.
    const uint32_t wait = timeout - idle + 1;
    const std::span<platform::SerialPort* const> waitOn(&waitPort, inputReported ? 0 : 1);
    inputReported = wait_->Wait(waitOn, wait < kLongestWaitMs ? wait : kLongestWaitMs,
                                kJobPollMs) == platform::WaitEnd::kInput;
  }
  log.WriteLog(kLogError,
               "%s port : job of %d bytes abandoned: the relay stopped before the printer "
               "confirmed it",
               name.c_str(), total);
  if (journal) journal->MarkReceived(id);  // what arrived is kept for the next start
  if (!settings.realtimeOn) link_.CloseLink();
}

void RelayWorker::ServeStored(const std::string& name, std::string_view bytes, uint64_t id,
                              JobState firstState) {
  const int index = PortIndex(name);
  std::shared_ptr<platform::SerialPort> port =
      index < 0 ? nullptr : service_.ports().handles[static_cast<size_t>(index)];
  if (!BeginJob(name, port)) return;
  Forward(bytes);
  EndJob(name, static_cast<int>(bytes.size()), id, firstState);
}

int RelayWorker::PortIndex(const std::string& name) {
  VirtualPortTable& ports = service_.ports();
  for (int i = 0; i < ports.count && i < VirtualPortTable::kSlots; ++i)
    if (ports.Name(i) == name) return i;
  return -1;
}

void RelayWorker::TakeHeldInput() {
  VirtualPortTable& ports = service_.ports();
  Journal* journal = service_.journal();
  Log& log = service_.log();
  const uint32_t now = service_.platform().clock->NowMs();
  const uint32_t timeout = service_.settings().receiveTimeoutMs;
  for (int i = 0; i < ports.count && i < VirtualPortTable::kSlots; ++i) {
    std::shared_ptr<platform::SerialPort> port = ports.handles[static_cast<size_t>(i)];
    if (!port) continue;
    const std::string name = ports.Name(i);
    HeldJob* open = nullptr;
    if (!held_.empty() && held_.back().index == i && !held_.back().ended) open = &held_.back();
    for (int n; (n = port->Read(heldBuffer_.data(), kReadBufferSize)) > 0;) {
      const std::string_view chunk = View(heldBuffer_.data(), n);
      if (!open && IsStatusRequest(chunk)) {
        // Answered as any reply; a printer that cannot be reached answers not.
        link_.SetReplyPort(port);
        replyPortName_ = name;
        link_.WriteLink(heldBuffer_.data(), n);
        log.WriteLog(kLogDebug,
                     "%s port : a status request passed to the printer while jobs are held",
                     name.c_str());
        continue;
      }
      if (!open) {
        held_.push_back(
            {i, journal ? journal->AppendArrival(name, chunk) : 0, std::string(chunk), now, false});
        open = &held_.back();
      } else {
        open->bytes += chunk;
        if (journal) journal->AppendBytes(open->id, chunk);
      }
      open->lastMs = now;
    }
    if (open && (timeout == 0 || now - open->lastMs > timeout)) {
      open->ended = true;
      if (journal) journal->MarkReceived(open->id);
      log.WriteLog(kLogError, "%s port : job of %d bytes held until the printer is usable",
                   name.c_str(), static_cast<int>(open->bytes.size()));
    }
  }
}

// Held jobs go out in order; one whose end was not seen yet goes on reading
// from its port.
void RelayWorker::ServeHeld() {
  while (!held_.empty() && !service_.stopFlag().load()) {
    HeldJob job = std::move(held_.front());
    held_.pop_front();
    if (!job.ended) {
      ServeJob(job.index, job.bytes, job.id);
      continue;
    }
    const std::string name = service_.ports().Name(job.index);
    service_.log().WriteLog(kLogDebug, "TIMEOUT : %s port %d-bytes end (held)", name.c_str(),
                            static_cast<int>(job.bytes.size()));
    ServeStored(name, job.bytes, job.id, JobState::kSent);
  }
}

// A stop while jobs are held: the journal has them (a job whose end was not
// seen yet counts as ended), and the next start prints them.
void RelayWorker::EndHeldIntake() {
  Journal* journal = service_.journal();
  for (HeldJob& job : held_) {
    if (!job.ended && journal) journal->MarkReceived(job.id);
  }
  if (!held_.empty()) {
    service_.log().WriteLog(kLogError, "%d held job(s) stay in the journal for the next start",
                            static_cast<int>(held_.size()));
  }
  held_.clear();
  if (journal) WaitDurable(journal->Sync());
}

void RelayWorker::Recover() {
  Journal* journal = service_.journal();
  if (!journal) return;
  platform::Platform& platform = service_.platform();
  RelaySettings& settings = service_.settings();
  Log& log = service_.log();
  StopFlag& stop = service_.stopFlag();
  // At start-up the journal has just been read; after a settings change or
  // a port refresh it is read again, once what is queued is on the disk.
  JournalReader fresh(*platform.durableFiles, service_.journalFolder(),
                      platform.files->PathSeparator());
  const JournalReader* reader = &journal->atOpen();
  if (!journal->unchangedSinceOpen()) {
    WaitDurable(journal->Sync());
    if (fresh.Load() != 0) return;
    reader = &fresh;
  }
  std::vector<JournalJob> jobs = reader->Unconfirmed();
  if (jobs.empty()) return;
  const int64_t now = CivilMs(platform.clock->LocalNow());
  const int oldestMinutes = static_cast<int>((now - jobs.front().receivedMs) / 60000);
  if (!settings.reprintOn) {
    log.WriteLog(kLogError,
                 "Recovery : %d unconfirmed job(s) in the journal are not printed again "
                 "(Reprint=NO)",
                 static_cast<int>(jobs.size()));
    return;
  }
  if (settings.popupOn) {
    const std::string ask = FormatText(service_.Say(texts::kRecoverAsk).c_str(),
                                       static_cast<int>(jobs.size()), oldestMinutes);
    log.WriteLog(kLogError, "%s", ask.c_str());
    if (service_.prompt().Show(ask, kStatusReprint, stop.flag()) != kAnswerOk) {
      if (stop.load()) return;  // asked again at the next start
      for (const JournalJob& job : jobs) journal->AppendState(job.id, JobState::kDiscarded);
      log.WriteLog(kLogError, "Recovery : %d unconfirmed job(s) discarded by the user",
                   static_cast<int>(jobs.size()));
      return;
    }
  } else {
    const int64_t limitMs = static_cast<int64_t>(settings.recoverMinutesOn.load()) * 60000;
    std::vector<JournalJob> young;
    for (JournalJob& job : jobs) {
      if (now - job.receivedMs < limitMs) {
        young.push_back(std::move(job));
      } else {
        log.WriteLog(kLogError,
                     "Recovery : %s job %llu of %llu bytes is older than %d minute(s): it stays "
                     "unconfirmed in the journal",
                     job.port.c_str(), static_cast<unsigned long long>(job.id),
                     static_cast<unsigned long long>(job.size), settings.recoverMinutesOn.load());
      }
    }
    jobs.swap(young);
  }
  for (const JournalJob& job : jobs) {
    if (stop.load()) return;
    std::string bytes;
    if (reader->ReadBytes(job, bytes) != 0 || bytes.size() != job.size) {
      log.WriteLog(kLogError, "Recovery : %s job %llu cannot be read back from the journal",
                   job.port.c_str(), static_cast<unsigned long long>(job.id));
      continue;
    }
    log.WriteLog(kLogError,
                 "Recovery : %s job %llu of %d bytes, %d minute(s) old, is printed again",
                 job.port.c_str(), static_cast<unsigned long long>(job.id),
                 static_cast<int>(bytes.size()), static_cast<int>((now - job.receivedMs) / 60000));
    ServeStored(job.port, bytes, job.id, JobState::kPrintedAgain);
  }
}

ReprintResult RelayWorker::QueueReprint(uint64_t id, const std::string& port, std::string bytes) {
  std::lock_guard<std::mutex> guard(reprintLock_);
  if (service_.stopFlag().load()) return ReprintResult::kStopping;
  for (const ReprintRequest& queued : reprints_)
    if (queued.id == id) return ReprintResult::kQueued;
  // One job is always taken, however large: it is on the disk already.
  if (!reprints_.empty() &&
      (reprints_.size() >= kMaxReprintRequests || reprintBytes_ + bytes.size() > kMaxReprintBytes))
    return ReprintResult::kBusy;
  reprintBytes_ += bytes.size();
  reprints_.push_back({id, port, std::move(bytes)});
  return ReprintResult::kQueued;
}

bool RelayWorker::ReprintQueued(uint64_t id) {
  std::lock_guard<std::mutex> guard(reprintLock_);
  for (const ReprintRequest& queued : reprints_)
    if (queued.id == id) return true;
  return false;
}

std::size_t RelayWorker::reprintsQueued() {
  std::lock_guard<std::mutex> guard(reprintLock_);
  return reprints_.size();
}

// The request leaves the queue only once printed: asking again meanwhile
// does not print it twice.
void RelayWorker::ServeReprints() {
  while (!service_.stopFlag().load()) {
    ReprintRequest request;
    {
      std::lock_guard<std::mutex> guard(reprintLock_);
      if (reprints_.empty()) return;
      request = reprints_.front();
    }
    service_.log().WriteLog(kLogError,
                            "Reprint : %s job %llu of %d bytes is printed again at the user's "
                            "request",
                            request.port.c_str(), static_cast<unsigned long long>(request.id),
                            static_cast<int>(request.bytes.size()));
    ServeStored(request.port, request.bytes, request.id, JobState::kPrintedAgain);
    std::lock_guard<std::mutex> guard(reprintLock_);
    reprintBytes_ -= reprints_.front().bytes.size();
    reprints_.pop_front();
  }
}

void RelayWorker::DropReprints() {
  std::lock_guard<std::mutex> guard(reprintLock_);
  if (reprints_.empty()) return;
  service_.log().WriteLog(kLogError,
                          "Reprint : %d requested reprint(s) dropped: the relay stopped before "
                          "printing them",
                          static_cast<int>(reprints_.size()));
  reprints_.clear();
  reprintBytes_ = 0;
}

}  // namespace core
