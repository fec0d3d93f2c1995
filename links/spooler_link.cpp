// SpoolerLink: open with a raw document, chunked writes, one document per job.
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
  documentOpen_ = true;
  return 0;
}

bool SpoolerLink::StartDocument() {
  if (documentOpen_) return true;
  documentOpen_ = printer_->StartDocument("Kelvo", "RAW");
  return documentOpen_;
}

int SpoolerLink::Write(const uint8_t* data, int length) {
  std::lock_guard<std::mutex> g(lock_);
  if (!printer_ || !StartDocument()) return 0;
  int done = 0;
  while (done < length) {
    uint32_t written = 0;
    const bool ok = printer_->Write(data + done, static_cast<uint32_t>(length - done), written);
    if (!ok || written == 0) return 0;
    done += static_cast<int>(written);
  }
  return 1;
}

bool SpoolerLink::EndJob() {
  std::lock_guard<std::mutex> g(lock_);
  if (!printer_ || !documentOpen_) return true;
  if (!printer_->EndDocument()) return false;
  documentOpen_ = false;
  return true;
}

int SpoolerLink::Close() {
  std::lock_guard<std::mutex> g(lock_);
  if (!printer_) return 2;
  if (documentOpen_ && !printer_->EndDocument()) return -1;
  documentOpen_ = false;
  printer_.reset();
  return 0;
}

}  // namespace links
