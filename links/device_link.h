// What the four device links (TCP, serial, parallel, USB) have in common: the
// link state record their reader keeps, the reply port and the copy of the
// replies forwarded to it, the reader thread that repeats one reader turn,
// and the steps their opens and reader turns share (starting the reader and
// waiting for its first status, asking for Automatic Status Back, the read
// that notices a silent printer). Each link adds its own open, close, write,
// read, reader turn and status table.
//
// Threads: the caller's thread (open, write, close) and the link's reader
// thread share the state record; flags are atomics, the reply port and the
// reply copy sit under one small lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "links/printer_link.h"
#include "links/reader_block.h"
#include "links/reader_thread.h"

namespace platform {
class Clock;
class SerialPort;
}  // namespace platform

namespace links {

// kManual leaves the reader turns to the owner (tests drive ReaderTurn()).
enum class ReaderMode { kThread, kManual };

struct LinkState {
  std::atomic<int> open{0};
  std::atomic<int> coverOpen{0};
  std::atomic<int> paperNearEnd{0};
  std::atomic<int> paperEnd{0};
  std::atomic<int> printerOff{0};
  std::atomic<int> printDone{0};
  std::atomic<int> statusRequest{0};
  std::atomic<int> readerStarted{0};
  std::atomic<int> stopReader{0};

  // The effects the status tables share.
  // coverOpen and statusRequest 1; paperNearEnd and paperEnd 0.
  void ReportCoverOpen();
  // paperEnd and statusRequest 1; coverOpen and paperNearEnd 0.
  void ReportPaperEnd();
  // paperNearEnd 1; coverOpen, paperEnd and statusRequest 0.
  void ReportNearEnd();
  // coverOpen, paperNearEnd, paperEnd and statusRequest 0.
  void ReportNormal();
};

class DeviceLink {
 public:
  DeviceLink(platform::Clock& clock, ReaderMode mode) : clock_(clock), mode_(mode) {}
  // A link's own destructor closes it: the reader turn is virtual and must not
  // run once the derived part is gone.
  virtual ~DeviceLink() = default;
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // `parameter` is the link's own: TCP port, serial rate index, unused.
  virtual int Open(const std::string& target, int parameter) = 0;
  // Run by the front's close before Close; only the TCP link has one.
  virtual int DisableStatus() { return 1; }
  virtual int Close() = 0;
  virtual int Write(const uint8_t* data, int length) = 0;
  // Whether a Write result means every byte was written.
  virtual bool WroteAll(int result, int /*length*/) const { return result == 1; }
  virtual int Read(uint8_t* buffer, int size) = 0;
  // One turn of the reader loop; the reader thread repeats it until stopReader.
  virtual void ReaderTurn() = 0;

  LinkState& state() { return state_; }
  const LinkState& state() const { return state_; }

  void SetReplyPort(std::shared_ptr<platform::SerialPort> port);
  // Moves the reply copy into `buffer`, clears all of it and returns the count.
  // A reply being forwarded is waited for (at most kForwardWaitMs): once the
  // application has read a reply, it is in the copy.
  unsigned TakeReplyCopy(ReplyCopy& buffer);
  // Reader step 4: writes the bytes to the reply port in one plain write when
  // the application holds its end open (DSR on), and keeps a copy unless the
  // block is exactly 6 bytes or the copy would reach 256 bytes. A failed write
  // drops the bytes. True when they were written.
  //
  // An application that keeps its port open but never reads fills it: the
  // write then waits at most kForwardWaitMs, and while the port stays full
  // later blocks get only a glance, so the reader keeps its pace and the
  // status flags keep following the printer.
  //
  // The answer to the relay's own AskStatusBack is kept from the application.
  bool ForwardReply(const uint8_t* data, int length);
  // GS a 255 for the relay's own sake (a job may have reset the printer):
  // the printer's answer, a status block, updates the flags as any other but
  // is not forwarded to an application that never asked for it.
  void AskStatusBack();
  // Bytes of replies dropped because the application's port took them not
  // (or not whole) since the last call; the count starts again at 0.
  uint64_t TakeDroppedReplies() { return droppedReplies_.exchange(0); }

  // How often the link found its printer connection lost. Bytes written on a
  // connection that was lost afterwards may never have reached the printer.
  uint32_t connectionLosses() const { return connectionLosses_; }

  // Why the last open or write that failed did (PrinterLink::FailureCause).
  std::string failureCause() const;

  static constexpr uint32_t kForwardWaitMs = 100;
  static constexpr uint32_t kStalledForwardWaitMs = 1;
  // The pause before a reader turn, skipped after a read that filled the
  // block: a printer that sends in bursts is read as fast as it sends.
  static constexpr uint32_t kTurnPauseMs = 50;

 protected:
  platform::Clock& clock() { return clock_; }
  void CountConnectionLoss() { ++connectionLosses_; }
  // Keeps `cause` as the link's failure cause and returns `result`, so that
  // a failing step reads "return Fail(kOpenFailed, why);".
  int Fail(int result, const std::string& cause);
  // The cause of an OS error (os_error.h); `fallback` when the OS gave none.
  static std::string OsCause(int code, const std::string& fallback);
  // Starts the reader thread looping over ReaderTurn (nothing in kManual).
  void StartReader();
  // Sets stopReader and waits without limit for the reader's end, if one runs.
  void StopReader();
  // Sets stopReader and waits at most `timeoutMs` (real time); true when no
  // reader runs any more. A reader that outlives the wait is joined later.
  bool StopReader(uint32_t timeoutMs);
  bool ReaderRunning() const { return reader_.Started(); }
  // True on this link's own reader thread.
  bool OnReaderThread() const;
  // The first step of every open. A reader of an earlier open that outlived
  // its close (a bounded wait gave up on it) keeps its stop request and gets
  // kEarlierThreadWaitMs more to end; false when it still runs, and the open
  // then fails: clearing the request would revive it beside the new reader.
  bool EarlierReaderEnded();
  static constexpr uint32_t kEarlierThreadWaitMs = 1000;

  // Reader step 1: 50 ms, unless the last block was full (NoteBlock).
  void PauseBeforeTurn();
  // Remembers whether the printer may have more waiting than a block holds.
  void NoteBlock(const ReaderBlock& block) { moreWaiting_ = block.length >= kReaderBlockSize; }
  // Sets printDone when a process-ID reply ends in this block that began in
  // an earlier one. Every block with bytes goes through it, after it has been
  // forwarded. Reader thread only.
  void WatchSplitReply(const ReaderBlock& block) {
    if (splitReply_.Completes(block)) state_.printDone = 1;
  }

  // The last step of an open: clears the reader's flags (stopReader,
  // paperNearEnd, printerOff, readerStarted) and its count of slow reads,
  // starts the reader and waits for its first status block, at most
  // 16 x 200 ms (a printer that never answers must not hold the open), then
  // `settleMs` more. Returns 0: the reader keeps asking, and the status flags
  // and the print-result wait report a printer that stays silent.
  int StartReaderAndWait(uint32_t settleMs);
  // GS a 255 through the link's own write, then 100 ms for the answer.
  void EnableStatusBack();
  // Reads what the printer sent into the block. Two reads in a row that took
  // 50 ms or more mean a printer that says nothing: statusRequest is set.
  // Reader thread only.
  void TimedRead(ReaderBlock& block);

 private:
  std::atomic<uint32_t> connectionLosses_{0};
  mutable std::mutex causeLock_;
  std::string cause_;
  platform::Clock& clock_;
  const ReaderMode mode_;
  LinkState state_;
  ReaderThread reader_;
  int slowReads_ = 0;           // reader thread only, once started
  bool moreWaiting_ = false;    // reader thread only
  SplitReplyWatch splitReply_;  // reader thread only, once started
  std::atomic<bool> forwardStalled_{false};
  std::atomic<bool> ownStatusBackAnswer_{false};
  std::atomic<uint64_t> droppedReplies_{0};

  // Held from a reply's write to its copy, so that TakeReplyCopy never runs
  // between the two.
  std::mutex forwardLock_;
  std::mutex replyLock_;
  std::shared_ptr<platform::SerialPort> replyPort_;
  ReplyCopy replyCopy_{};
  unsigned replyCopyLength_ = 0;
};

}  // namespace links
