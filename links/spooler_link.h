// SpoolerLink: an installed printer written through the print spooler as one
// raw document ("Kelvo", data type "RAW") from open to close. Write-only: no
// status comes back through the spooler.
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

  // 0 with the document open; -1 when the printer is unknown or refuses the
  // document (the printer is closed again).
  int Open(const std::string& printerName);
  // One byte per spooler write, in order: 1 all written, 0 at the first
  // refused byte.
  int Write(const uint8_t* data, int length);
  // 0 ended and closed; -1 the end was refused (the document stays open);
  // 2 nothing open.
  int Close();

 private:
  platform::PrintSpooler* spooler_;
  std::mutex lock_;
  std::unique_ptr<platform::SpoolerPrinter> printer_;
};

}  // namespace links
