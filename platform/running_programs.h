// Implemented by platform/win32/running_programs.cpp and platform/posix/running_programs.cpp.
// The running relay service as the uninstaller sees it: found, asked to end
// with an exit code, waited for within a bound, and ended by force when it
// does not go.
//
// Windows: a toolhelp snapshot of the machine's processes, OpenProcess with
// full access, a thread started in the process at ExitProcess,
// TerminateProcess. POSIX: the holder of this installation's single-instance
// lock (instance.h), SIGTERM and SIGKILL; a search by program name would also
// find the relays of other installations. UI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A running program; the object owns its process handle (or lock file).
class RunningProgram {
 public:
  virtual ~RunningProgram() = default;
  // GetExitCodeProcess still reports STILL_ACTIVE (259).
  virtual bool StillActive() = 0;
  // Asks the program to end itself with the exit code (POSIX: SIGTERM, the
  // program chooses its own code). 0, or the system error code.
  virtual int RequestExit(uint32_t exitCode) = 0;
  // Waits at most `timeoutMs` for the program to end; true when it has ended.
  virtual bool WaitForEnd(uint32_t timeoutMs) = 0;
  // Ends the program at once (TerminateProcess, SIGKILL). 0, or the system
  // error code.
  virtual int Terminate(uint32_t exitCode) = 0;
  // The program's file, for the debug traces; empty when it cannot be read.
  virtual std::string ModulePath() = 0;
};

class RunningPrograms {
 public:
  virtual ~RunningPrograms() = default;
  // The running relay service, or null. Windows: the first process of a
  // snapshot whose executable file name is exactly `fileName` and that opens
  // with full access. POSIX: the holder of the single-instance lock
  // `lockName` beside this program.
  virtual std::unique_ptr<RunningProgram> FindService(const std::string& fileName,
                                                      const std::string& lockName) = 0;
};

}  // namespace platform
