// Implemented by platform/win32/system.cpp and platform/posix/system.cpp.
// Small system services: debugger output, the ANSI code page, plain message
// boxes, conversion of the program's UTF-8 texts to the ANSI code page and of
// a printer's text bytes to UTF-8.
#pragma once

#include <string>

namespace platform {

class System {
 public:
  virtual ~System() = default;
  // OutputDebugStringA.
  virtual void DebugOutput(const std::string& text) = 0;
  // GetACP(); 949 selects the Korean texts.
  virtual unsigned AnsiCodePage() = 0;
  // A plain message box without owner and with an OK button only.
  virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
  // The program's texts are kept in UTF-8; this converts one to the ANSI code
  // page the rest of the program (INI values, the log, the A-calls) works in.
  virtual std::string FromUtf8(const std::string& utf8) = 0;
  // Text bytes in code page `codePage` (949 Korean double-byte, 437, ...) as
  // UTF-8, e.g. for the preview of a print job. Bytes the code page does not
  // define become U+FFFD; never fails.
  virtual std::string ToUtf8(const std::string& bytes, unsigned codePage) = 0;
};

}  // namespace platform
