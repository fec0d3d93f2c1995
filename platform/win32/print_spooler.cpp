// The Windows print spooler: a printer handle from OpenPrinterA and one
// level-1 document on it.
#include "platform/print_spooler.h"

#include <windows.h>

#include <winspool.h>

#include "platform/win32/native.h"

namespace platform::win32 {

namespace {

class WinPrinter : public SpoolerPrinter {
 public:
  explicit WinPrinter(HANDLE printer) : printer_(printer) {}
  ~WinPrinter() override { ClosePrinter(printer_); }

  bool StartDocument(const std::string& documentName, const std::string& dataType) override {
    DOC_INFO_1A info{};
    info.pDocName = const_cast<char*>(documentName.c_str());
    info.pOutputFile = nullptr;
    info.pDatatype = const_cast<char*>(dataType.c_str());
    return StartDocPrinterA(printer_, 1, reinterpret_cast<LPBYTE>(&info)) != 0 || Failed();
  }

  bool Write(const uint8_t* data, uint32_t length, uint32_t& written) override {
    DWORD count = 0;
    const BOOL ok = WritePrinter(printer_, const_cast<uint8_t*>(data), length, &count);
    written = count;
    return ok != 0 || Failed();
  }

  bool EndDocument() override { return EndDocPrinter(printer_) != 0 || Failed(); }

  int LastError() override { return lastError_; }

 private:
  bool Failed() {
    lastError_ = static_cast<int>(GetLastError());
    return false;
  }

  HANDLE printer_;
  int lastError_ = 0;
};

// GetLastError() of the calling thread's last failed open.
thread_local int tOpenError = 0;

class WinSpooler : public PrintSpooler {
 public:
  std::unique_ptr<SpoolerPrinter> Open(const std::string& name) override {
    HANDLE printer = nullptr;
    if (!::OpenPrinterA(const_cast<char*>(name.c_str()), &printer, nullptr) || printer == nullptr) {
      tOpenError = static_cast<int>(GetLastError());
      return nullptr;
    }
    return std::make_unique<WinPrinter>(printer);
  }

  int LastError() override { return tOpenError; }
};

}  // namespace

PrintSpooler& NewSpooler() {
  static WinSpooler spooler;
  return spooler;
}

}  // namespace platform::win32
