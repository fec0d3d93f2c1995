// RelayWorker: the one worker thread that moves print jobs from the relay
// ends of the virtual ports to the printer. A job is the stream from one port
// between its first non-empty read and the first gap longer than the receive
// time-out; then the status check confirms it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <thread>

#include "core/event.h"
#include "core/reprint_queue.h"
#include "core/status_check.h"
#include "links/printer_link.h"

namespace core {

class RelayService;

class RelayWorker {
 public:
  static constexpr int kReadBufferSize = 8192;
  static constexpr uint32_t kPassPauseMs = 100;
  // Longest single wait for input inside a job, so a stop request is seen soon.
  static constexpr uint32_t kLongestWaitMs = 100;
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

  // The thread body, and one pass over the ports (for tests).
  void Run();
  void RunPass();
  ReprintQueue& queue() { return queue_; }

 private:
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
  std::string replyPortName_;  // the port the printer's replies go to
};

}  // namespace core
