// SpoolerLink: open with a raw document, byte-wise write, end and close.
#include "links/spooler_link.h"

#include <utility>

#include "platform/print_spooler.h"

namespace links {

SpoolerLink::SpoolerLink(platform::PrintSpooler* spooler) : spooler_(spooler) {}

SpoolerLink::~SpoolerLink() = default;

int SpoolerLink::Open(const std::string& printerName) {
  if (spooler_ == nullptr) return -1;
  std::unique_ptr<platform::SpoolerPrinter> printer = spooler_->Open(printerName);
  if (!printer) return -1;
  if (!printer->StartDocument("Kelvo", "RAW")) return -1;  // closes the printer
  std::lock_guard<std::mutex> g(lock_);
  printer_ = std::move(printer);
  return 0;
}

int SpoolerLink::Write(const uint8_t* data, int length) {
  std::lock_guard<std::mutex> g(lock_);
  if (!printer_) return 0;
  for (int i = 0; i < length; ++i) {
    uint32_t written = 0;
    if (!printer_->Write(data + i, 1, written)) return 0;
  }
  return 1;
}

int SpoolerLink::Close() {
  std::lock_guard<std::mutex> g(lock_);
  if (!printer_) return 2;
  if (!printer_->EndDocument()) return -1;
  printer_.reset();
  return 0;
}

}  // namespace links
