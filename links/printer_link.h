// The one interface through which the relay talks to its printer, whatever
// the attachment: start-up, the relay worker and the status check call only
// these operations. The front (LinkFront) picks the link when it is opened;
// tests substitute scripted links.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class SerialPort;
}

namespace links {

// The common language of GetStatus and WaitPrintResult.
enum PrinterStatusCode : unsigned {
  kPrinterOk = 0,
  kCoverOpen = 1,
  kPaperNearEnd = 2,
  kPaperOut = 4,
  kPrinterPowerOff = 8,
  kNoResponse = 16,
  // Part of the job never reached the printer although it confirmed what it
  // got, or the spooler would not end the job's document. Reported as an
  // unknown error.
  kJobIncomplete = 32,
};

// What OpenLink returns: kOpened, or why the printer is not open. The
// numbers are the ones the links always returned; FailureCause() says more.
enum OpenResult : int {
  kOpened = 0,
  kOpenFailed = -1,    // the port, device, printer or connection cannot be had
  kOpenNoSocket = -2,  // TCP/IP: no socket, or a stack of the wrong version
  kOpenNoStack = -3,   // TCP/IP: the network stack does not start
  kOpenCoverOpen = 1,  // the printer answered the open: its cover is open
  kOpenRefused = 1,    // serial, parallel: the port refused (the front says kOpenFailed)
  kOpenNotReady = 2,   // USB: a silent printer, or the last connection still ends
  kOpenPaperOut = 4,   // TCP/IP: the printer answered the open: paper out
  kOpenNoAnswer = 8,   // TCP/IP: no connection or no answer within the wait
};

// What WriteLink returns (the parallel link's own write returns the count).
enum WriteOutcome : int {
  kWriteFailed = 0,         // serial, USB, spooler: not every byte was taken
  kWriteDone = 1,           // every byte was taken
  kWriteNoConnection = -1,  // TCP/IP: no connection; the front: no link of the kind
  kWriteNoDocument = 2,     // spooler link: no printer open
};

inline constexpr std::size_t kReplyCopySize = 256;
using ReplyCopy = std::array<uint8_t, kReplyCopySize>;

class PrinterLink {
 public:
  virtual ~PrinterLink() = default;

  // kOpened, or the chosen link's OpenResult, and nothing is left open.
  virtual int OpenLink(const std::string& target, int parameter) = 0;
  virtual int CloseLink() = 0;
  virtual int WriteLink(const uint8_t* data, int length) = 0;
  // Bytes of the writes that failed since the last call (each failed write
  // counts whole: a link does not say how much of it got through); the count
  // starts again at 0.
  virtual uint64_t TakeUndelivered() = 0;
  // Bytes of printer replies dropped since the last call because the
  // application's port did not take them (it is open but not read); the
  // count starts again at 0.
  virtual uint64_t TakeDroppedReplies() = 0;
  // From the reader's flags alone: cover open 1, near end 2, paper out 4, off 8.
  virtual unsigned GetStatus() = 0;
  // Where the printer's replies go from now on (the relay end the last job
  // came from); shared so that closing that port cannot leave a dangling one.
  virtual int SetReplyPort(std::shared_ptr<platform::SerialPort> port) = 0;
  // Moves the copy of the forwarded replies into `buffer`; returns the count.
  virtual unsigned TakeReplyCopy(ReplyCopy& buffer) = 0;
  // Asks the printer to confirm everything sent so far: 0, 1, 4, 8 or 16.
  // When `abandon` becomes non-zero (the relay is stopping) the wait ends
  // within 100 ms with 16: nobody waits for the answer any more.
  virtual unsigned WaitPrintResult(uint32_t timeoutMs,
                                   const std::atomic<int>* abandon = nullptr) = 0;
  // Why the last open or write that failed did, in words for the log
  // ("access denied (held by another program)", "connection refused");
  // empty when nothing failed or the link cannot tell.
  virtual std::string FailureCause() { return {}; }
};

}  // namespace links
