// Implemented in platform/win32/serial_port.cpp.
// What a wait on several ports at once (port_signals.cpp) needs from one
// Windows port: an overlapped wait for received characters that ends by
// itself on input, and a way to end it again. serial_port.cpp implements it.
#pragma once

#include <windows.h>

namespace platform::win32 {

class InputWait {
 public:
  // Starts a wait for received characters (WaitCommEvent with EV_RXCHAR) and
  // returns the event that is set when it ends; null when the port cannot
  // wait that way (not overlapped, or its driver does not end waits properly).
  virtual HANDLE StartInputWait() = 0;
  // Ends the wait StartInputWait began, cancelling it when still pending.
  virtual void EndInputWait() = 0;

 protected:
  ~InputWait() = default;
};

}  // namespace platform::win32
