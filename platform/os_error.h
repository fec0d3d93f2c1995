// Implemented by platform/os_error.cpp, with OsErrorText and OsCauseOf in
// platform/win32/system.cpp and platform/posix/system.cpp.
// The one error convention of the platform interfaces: a call that fails says
// so in its result (false, null, -1, kSocketError), and the interface keeps
// the OS error of that failure for the log, read with LastError() as Sockets
// always did: the number as the OS gives it (GetLastError, WSAGetLastError,
// errno), 0 when nothing failed yet. A port keeps its own; a factory that
// opens (serial ports, USB printers, the spooler) keeps the last failed open
// of the calling thread, and so do files, INI files, the registry and
// started programs for their last failed call.
#pragma once

#include <string>

namespace platform {

// The causes the log names in the relay's own words on both builds.
enum class OsCause {
  kOther,
  kHeld,         // access denied: another program holds the port or device
  kNotFound,     // no such port, device, printer or file
  kRefused,      // the peer refused the connection
  kTimedOut,     // no answer within the time
  kUnreachable,  // no route to the peer
};

// The system's own words for an OS error number (FormatMessage, strerror).
std::string OsErrorText(int code);
// Which of the causes above an OS error number is.
OsCause OsCauseOf(int code);
// An OS error number of that cause on this build (for fakes that fail as the
// system would); 0 for kOther.
int OsErrorFor(OsCause cause);
// One line for the log: "access denied (held by another program)",
// "connection refused", ..., otherwise the system's words and the number,
// "Input/output error (error 5)".
std::string DescribeOsError(int code);
// The system's words and the number, for failures that are no port's or
// printer's (files, the registry, starting programs): "No such file or
// directory (error 2)".
std::string SystemWords(int code);

}  // namespace platform
