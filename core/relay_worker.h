// RelayWorker: the one worker thread that moves print jobs from the relay
// ends of the virtual ports to the printer. A job is the stream from one port
// between its first non-empty read and the first gap longer than the receive
// time-out; then the status check confirms it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/event.h"
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

 private:
  void PauseAfterPass(bool served);
  void ServeJob(int index, int firstLength);
  void ClassifyFirstChunk(int length);
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
};

}  // namespace core
