// The Windows spooler's raw document, realised as one raw CUPS job: the
// document's start creates the job and opens its one document, writes stream
// into it, and its end submits it. The CUPS server is the one the environment
// names (CUPS_SERVER, client.conf), as for every CUPS client.
#include "platform/print_spooler.h"

#include <cups/cups.h>
#include <errno.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/posix/native.h"

namespace platform::posix {

namespace {

// The link writes one byte per call; bytes are sent in blocks of this size so
// that a large job is not one HTTP chunk per byte.
constexpr size_t kWriteBlock = 4096;

class CupsPrinter : public SpoolerPrinter {
 public:
  CupsPrinter(http_t* http, std::string name) : http_(http), name_(std::move(name)) {}

  // An unfinished document is dropped with the connection.
  ~CupsPrinter() override { httpClose(http_); }

  bool StartDocument(const std::string& documentName, const std::string& dataType) override {
    if (job_ != 0) return false;
    const int job = cupsCreateJob(http_, name_.c_str(), documentName.c_str(), 0, nullptr);
    if (job == 0) return Failed();
    const char* format = dataType == "RAW" ? CUPS_FORMAT_RAW : CUPS_FORMAT_AUTO;
    if (cupsStartDocument(http_, name_.c_str(), job, documentName.c_str(), format, 1) !=
        HTTP_STATUS_CONTINUE) {
      cupsCancelJob2(http_, name_.c_str(), job, 0);
      return Failed();
    }
    job_ = job;
    pending_ = 0;
    return true;
  }

  bool Write(const uint8_t* data, uint32_t length, uint32_t& written) override {
    written = 0;
    if (job_ == 0) return false;
    while (written < length) {
      if (pending_ == block_.size() && !Flush()) return Failed();
      const size_t take = std::min<size_t>(block_.size() - pending_, length - written);
      std::memcpy(block_.data() + pending_, data + written, take);
      pending_ += take;
      written += static_cast<uint32_t>(take);
    }
    return true;
  }

  bool EndDocument() override {
    if (job_ == 0) return false;
    if (!Flush()) return Failed();
    if (cupsFinishDocument(http_, name_.c_str()) > IPP_STATUS_OK_CONFLICTING) return Failed();
    job_ = 0;
    return true;
  }

  int LastError() override { return lastError_; }

 private:
  // CUPS says why in its own terms; the log gets an I/O error and the
  // scheduler's log the rest.
  bool Failed() {
    lastError_ = EIO;
    return false;
  }

  bool Flush() {
    if (pending_ == 0) return true;
    if (cupsWriteRequestData(http_, reinterpret_cast<const char*>(block_.data()), pending_) !=
        HTTP_STATUS_CONTINUE)
      return false;
    pending_ = 0;
    return true;
  }

  http_t* http_;
  std::string name_;
  int job_ = 0;
  std::array<uint8_t, kWriteBlock> block_{};
  size_t pending_ = 0;
  int lastError_ = 0;
};

// errno of the calling thread's last failed open.
thread_local int tOpenError = 0;

class CupsSpooler : public PrintSpooler {
 public:
  // A connection of its own per printer: libcups' default connection belongs
  // to the calling thread, and the link is opened and written from different
  // threads.
  std::unique_ptr<SpoolerPrinter> Open(const std::string& name) override {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                30000, nullptr);
    if (http == nullptr) {
      tOpenError = ECONNREFUSED;  // no scheduler to talk to
      return nullptr;
    }
    cups_dest_t* dest = cupsGetNamedDest(http, name.c_str(), nullptr);
    if (dest == nullptr) {
      tOpenError = ENOENT;
      httpClose(http);
      return nullptr;
    }
    cupsFreeDests(1, dest);
    return std::make_unique<CupsPrinter>(http, name);
  }

  int LastError() override { return tOpenError; }
};

}  // namespace

PrintSpooler& NewSpooler() {
  static CupsSpooler spooler;
  return spooler;
}

}  // namespace platform::posix
