// SpoolerLink: open with a raw document, chunked writes, one document per job.
#include "links/spooler_link.h"

#include <utility>

#include "links/printer_link.h"
#include "platform/os_error.h"
#include "platform/print_spooler.h"

namespace links {
namespace {

std::string Cause(int code, const std::string& fallback) {
  return code != 0 ? platform::DescribeOsError(code) : fallback;
}

}  // namespace

SpoolerLink::SpoolerLink(platform::PrintSpooler* spooler) : spooler_(spooler) {}

SpoolerLink::~SpoolerLink() = default;

int SpoolerLink::Open(const std::string& printerName) {
  if (spooler_ == nullptr) return Fail(kOpenFailed, "this build has no print spooler");
  std::unique_ptr<platform::SpoolerPrinter> printer = spooler_->Open(printerName);
  if (!printer)
    return Fail(kOpenFailed, Cause(spooler_->LastError(), "the spooler knows no such printer"));
  if (!printer->StartDocument("Kelvo", "RAW"))  // closes the printer
    return Fail(kOpenFailed, Cause(printer->LastError(), "the printer refused the document"));
  std::lock_guard<std::mutex> g(lock_);
  printer_ = std::move(printer);
  documentOpen_ = true;
  return kOpened;
}

std::string SpoolerLink::failureCause() const {
  std::lock_guard<std::mutex> g(causeLock_);
  return cause_;
}

int SpoolerLink::Fail(int result, const std::string& cause) {
  std::lock_guard<std::mutex> g(causeLock_);
  cause_ = cause;
  return result;
}

bool SpoolerLink::StartDocument() {
  if (documentOpen_) return true;
  documentOpen_ = printer_->StartDocument("Kelvo", "RAW");
  return documentOpen_;
}

int SpoolerLink::Write(const uint8_t* data, int length) {
  std::lock_guard<std::mutex> g(lock_);
  if (!printer_) return Fail(kWriteFailed, "no printer open");
  if (!StartDocument())
    return Fail(kWriteFailed, Cause(printer_->LastError(), "the printer refused the document"));
  int done = 0;
  while (done < length) {
    uint32_t written = 0;
    const bool ok = printer_->Write(data + done, static_cast<uint32_t>(length - done), written);
    if (!ok || written == 0)
      return Fail(kWriteFailed, Cause(printer_->LastError(), "the printer took nothing"));
    done += static_cast<int>(written);
  }
  return kWriteDone;
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
