// SpoolerLink: an installed printer written through the print spooler as raw
// documents ("Kelvo", data type "RAW"), one per job: the spooler prints a
// document only when it ends, so each job's document is ended with the job
// and the next write starts a new one. Write-only: no status comes back
// through the spooler.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {
class PrintSpooler;
class SpoolerPrinter;
}  // namespace platform

namespace links {

class SpoolerLink {
 public:
  // `spooler` may be null where the build has none: every open then fails.
  explicit SpoolerLink(platform::PrintSpooler* spooler);
  ~SpoolerLink();

  // kOpened with the printer open and a document started; kOpenFailed when
  // the printer is unknown or refuses the document (it is closed again).
  int Open(const std::string& printerName);
  // Writes into the job's document (starting one after an ended job) in as
  // few spooler calls as the spooler takes: 1 all written, 0 at the first
  // refused byte or when no document can be started.
  int Write(const uint8_t* data, int length);
  // Ends the job's document, so that the spooler prints it. True when it
  // ended or none was open; false when the spooler refused (it stays open).
  bool EndJob();
  // 0 ended (when a document was open) and closed; -1 the end was refused
  // (the document stays open); 2 nothing open.
  int Close();
  // Why the last open or write that failed did.
  std::string failureCause() const;

 private:
  bool StartDocument();
  int Fail(int result, const std::string& cause);

  platform::PrintSpooler* spooler_;
  std::mutex lock_;
  std::unique_ptr<platform::SpoolerPrinter> printer_;
  bool documentOpen_ = false;
  mutable std::mutex causeLock_;
  std::string cause_;
};

}  // namespace links
