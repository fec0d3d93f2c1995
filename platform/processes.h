// Implemented by platform/win32/processes.cpp and platform/posix/processes.cpp.
// Starting other programs: com0com's installer (started and waited for), its
// command-line tool run elevated and hidden, the relay started by the
// launcher, the uninstall commands run by the uninstaller, and the facts
// about the machine that decide which installer fits it.
//
// Windows: CreateProcessA, ShellExecuteExA, system(), GetVersionExA,
// GetNativeSystemInfo, GetProductInfo, IsUserAnAdmin. POSIX: the com0com
// program names are mapped to this build's own pair installer (see
// posix/processes.h); there is no elevation. UI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// GetLastError codes the callers tell apart.
inline constexpr int kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr int kErrorPathNotFound = 3;  // ERROR_PATH_NOT_FOUND
inline constexpr int kErrorAccessDenied = 5;  // ERROR_ACCESS_DENIED
inline constexpr int kErrorCancelled = 1223;  // ERROR_CANCELLED: elevation refused

// OSVERSIONINFO's platform identifiers and SYSTEM_INFO's processor
// architectures that decide the installer.
inline constexpr uint32_t kPlatformWin32s = 0;
inline constexpr uint32_t kPlatformWindows9x = 1;
inline constexpr uint32_t kPlatformNt = 2;
inline constexpr int kProcessorIntel = 0;
inline constexpr int kProcessorIa64 = 6;
inline constexpr int kProcessorAmd64 = 9;
inline constexpr uint32_t kProductEnterpriseServerIa64 = 15;

struct OsVersion {
  uint32_t platformId = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
};

// A started program; the object owns its process (and thread) handle.
class Process {
 public:
  virtual ~Process() = default;
  // Waits without a time limit for the program to end; its exit code.
  virtual uint32_t WaitForEnd() = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // CreateProcessA with no application name and this command line, no handle
  // inheritance, no creation flags, the inherited environment and current
  // directory. A bare program name is looked for in the program's own
  // directory first. 0, or the system error code when it cannot be started.
  virtual int Start(const std::string& commandLine, std::unique_ptr<Process>& process) = 0;
  // ShellExecuteExA with the verb "runas" and the window hidden; not waited
  // for. 0, or the system error code (kErrorCancelled, kErrorFileNotFound...).
  virtual int RunElevatedHidden(const std::string& file, const std::string& parameters) = 0;

  // ShellExecuteExA with the verb ("open", or "runas" to ask for elevation)
  // on the file: no parameters, no working directory, shown normally, no
  // error dialogs of the shell, returning once the start is handed over. Not
  // waited for. 0, or the system error code (kErrorFileNotFound,
  // kErrorCancelled...).
  virtual int Launch(const std::string& verb, const std::string& file) = 0;
  // The command interpreter (the C library's system()) runs the command; waits
  // for it. -1 when the interpreter could not be started, else its result.
  virtual int RunCommand(const std::string& command) = 0;
  // IsUserAnAdmin: the current user already has administrator rights.
  virtual bool UserIsAdmin() = 0;

  // GetVersionExA with the extended record, then with the basic one; false
  // when both fail.
  virtual bool QueryOsVersion(OsVersion& version) = 0;
  // wProcessorArchitecture of GetNativeSystemInfo when the system has it,
  // otherwise of GetSystemInfo (kProcessorIntel, kProcessorAmd64, ...). The
  // pair installation picks its installer by it, the USB link its registry
  // view.
  virtual int ProcessorArchitecture() = 0;
  // GetProductInfo; false when the system does not have it.
  virtual bool ProductType(uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                           uint32_t& type) = 0;

  // The file name this build gives one of the product's programs:
  // "relaytray.exe" on Windows, "relaytray" on POSIX.
  virtual std::string ProgramFileName(const std::string& program) const = 0;

  // The OS error of the calling thread's last failed start, launch or
  // command (os_error.h), as the system gave it (POSIX: the errno behind the
  // Windows code returned); 0 while nothing failed.
  virtual int LastError() = 0;
};

}  // namespace platform
