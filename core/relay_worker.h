// RelayWorker: the one worker thread that moves print jobs from the relay
// ends of the virtual ports to the printer. A job is the stream from one port
// between its first non-empty read and the first gap longer than the receive
// time-out; then the status check confirms it.
//
// Every job is written to the journal as it arrives; at its end it is made
// durable before the printer is asked to confirm it, and its later states
// follow. While the printer is not usable the worker does not forward jobs:
// it takes them in (journal and memory) and prints them in order once the
// printer is usable again; a status request that arrives alone meanwhile goes
// to the printer at once. When the worker starts it prints again the jobs the
// journal shows as unconfirmed; a job a person asks for again (the recent
// receipts) is printed between passes once the printer is usable.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/event.h"
#include "core/journal_format.h"
#include "core/recent_receipts.h"
#include "core/reprint_queue.h"
#include "core/status_check.h"
#include "links/printer_link.h"
#include "platform/port_wait.h"

namespace core {

class RelayService;

class RelayWorker {
 public:
  static constexpr int kReadBufferSize = 8192;
  // The pause between passes ends early when a job's first bytes arrive.
  static constexpr uint32_t kPassPauseMs = 100;
  // Longest single wait for input inside a job.
  static constexpr uint32_t kLongestWaitMs = 100;
  // How often a port the system cannot wait on is looked at instead, between
  // jobs and inside one (where the next bytes are due at once).
  static constexpr uint32_t kIdlePollMs = 10;
  static constexpr uint32_t kJobPollMs = 1;
  // Pause between attempts to open a printer that cannot be reached.
  static constexpr uint32_t kReconnectPauseMs = 1000;
  // The longest wait for a job's end to be on stable storage before the
  // printer is asked to confirm it.
  static constexpr uint32_t kDurableWaitMs = 2000;
  static constexpr uint32_t kPruneEveryMs = 3600u * 1000u;
  // Reprints asked for and not yet printed: a person clicking faster than a
  // faulted printer prints is told to wait rather than fill the memory.
  static constexpr std::size_t kMaxReprintRequests = 32;
  static constexpr std::size_t kMaxReprintBytes = 16u << 20;

  RelayWorker(RelayService& service, links::PrinterLink& link);
  ~RelayWorker();
  RelayWorker(const RelayWorker&) = delete;
  RelayWorker& operator=(const RelayWorker&) = delete;

  // Creates the worker-ended event (not signalled) and starts the thread.
  // Refused (false, logged) while a worker runs: only a stop request ends
  // that one, so waiting for it here could last for ever.
  bool Start();
  // Sets the stop flag, waits a second, waits for the worker-ended event.
  // `wait` lets the caller keep its window responsive while it waits.
  void Stop();
  // Waits for the worker-ended event of a worker whose stop flag is already set.
  void WaitEnded();
  bool running() const { return thread_.joinable(); }
  ManualResetEvent& workerEnded() { return ended_; }

  // The thread body, and one pass over the ports (for tests); the pass
  // returns whether it served a job.
  void Run();
  bool RunPass();
  ReprintQueue& queue() { return queue_; }

  // While the printer is not usable: reads what the applications wrote,
  // keeps jobs for later (in the journal at once, their end once a gap past
  // the receive time-out shows it) and passes a status request that arrives
  // alone to the printer. Called by the status check's waits, on the worker
  // thread or on a thread that stands in for it while a pop-up is up.
  void TakeHeldInput();
  size_t heldJobs() const { return held_.size(); }
  // Prints again what the journal shows as unconfirmed, as the settings say
  // (the thread body does this first; public for tests).
  void Recover();

  // A job of the journal to print again at a person's request. Any thread:
  // queued once per job id (asking again while it waits is answered kQueued),
  // printed by the worker between passes, after the held jobs, once the
  // printer is usable, confirmed and reprinted on a fault like any job. A
  // worker that ends drops what is still queued, with a log line.
  ReprintResult QueueReprint(uint64_t id, const std::string& port, std::string bytes);
  bool ReprintQueued(uint64_t id);
  std::size_t reprintsQueued();
  // Prints the queued reprints (the thread body does it between passes;
  // public for tests).
  void ServeReprints();

 private:
  // A job taken in while the printer was not usable.
  struct HeldJob {
    int index = 0;
    uint64_t id = 0;
    std::string bytes;
    uint32_t lastMs = 0;
    bool ended = false;
  };

  void PauseAfterPass(bool served);
  // A job read from a relay end: `first` was read already (or held), `id` is
  // its journal id when it has one.
  void ServeJob(int index, std::string_view first, uint64_t id);
  // A whole job from memory or the journal, as it was received.
  void ServeStored(const std::string& name, std::string_view bytes, uint64_t id,
                   JobState firstState);
  bool BeginJob(const std::string& name, std::shared_ptr<platform::SerialPort> port);
  void Forward(std::string_view bytes);
  void EndJob(const std::string& name, int total, uint64_t id, JobState firstState);
  void ServeHeld();
  void EndHeldIntake();
  void DropReprints();
  void WaitDurable(std::future<bool> done);
  int PortIndex(const std::string& name);
  void ClassifyFirstChunk(std::string_view first);
  void LogReplies();
  void LogDroppedReplies();
  bool OpenPrinterForJob(const std::string& portName);

  RelayService& service_;
  links::PrinterLink& link_;
  ReprintQueue queue_;
  StatusCheck status_;
  ManualResetEvent ended_;
  std::thread thread_;
  std::array<uint8_t, kReadBufferSize> buffer_{};
  links::ReplyCopy replies_{};
  std::unique_ptr<platform::PortWait> wait_;
  std::vector<platform::SerialPort*> waitPorts_;
  bool inputReported_ = false;  // the last pause ended on input
  std::string replyPortName_;   // the port the printer's replies go to
  std::deque<HeldJob> held_;    // in arrival order
  std::array<uint8_t, kReadBufferSize> heldBuffer_{};
  uint32_t lastPruneMs_ = 0;

  struct ReprintRequest {
    uint64_t id = 0;
    std::string port;
    std::string bytes;
  };
  std::mutex reprintLock_;  // guards reprints_ and reprintBytes_
  std::deque<ReprintRequest> reprints_;
  std::size_t reprintBytes_ = 0;
};

}  // namespace core
