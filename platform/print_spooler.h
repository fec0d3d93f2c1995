// Implemented by platform/win32/print_spooler.cpp and platform/posix/print_spooler.cpp.
// Raw documents through the system's print spooler: open an installed printer
// by name, start one document, write bytes to it, end it, close the printer.
// Windows: OpenPrinterA / StartDocPrinterA / WritePrinter / EndDocPrinter /
// ClosePrinter. Linux: one raw CUPS job from the document's start to its end.
//
// Threads: a printer object is used by one thread at a time, but not always
// the same one (opened at start-up, written by the relay worker).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class SpoolerPrinter {
 public:
  // ClosePrinter; a document still open is dropped.
  virtual ~SpoolerPrinter() = default;
  // StartDocPrinterA at level 1: document name, no output file, data type.
  virtual bool StartDocument(const std::string& documentName, const std::string& dataType) = 0;
  // WritePrinter: true and the count taken, or false.
  virtual bool Write(const uint8_t* data, uint32_t length, uint32_t& written) = 0;
  // EndDocPrinter: the document goes to the printer as one job. On failure the
  // document stays open.
  virtual bool EndDocument() = 0;
  // The OS error of this printer's last failed call (os_error.h).
  virtual int LastError() { return 0; }
};

class PrintSpooler {
 public:
  virtual ~PrintSpooler() = default;
  // OpenPrinterA; null when the spooler knows no printer of that name.
  virtual std::unique_ptr<SpoolerPrinter> Open(const std::string& name) = 0;
  // The OS error of the calling thread's last failed open (os_error.h).
  virtual int LastError() { return 0; }
};

}  // namespace platform
