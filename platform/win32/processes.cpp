// Starting programs on Windows, and the version and processor facts.
#include "platform/processes.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

thread_local int tProcessesError = 0;

// A failed call's error, kept and returned.
int Kept(int error) {
  if (error != 0) tProcessesError = error;
  return error;
}

class WinProcess : public Process {
 public:
  explicit WinProcess(const PROCESS_INFORMATION& info) : info_(info) {}
  ~WinProcess() override {
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }

  uint32_t WaitForEnd() override {
    WaitForSingleObject(info_.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_;
};

class WinProcesses : public Processes {
 public:
  int Start(const std::string& commandLine, std::unique_ptr<Process>& process) override {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // CreateProcessA may write into the command line: give it a copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
      return Kept(static_cast<int>(GetLastError()));
    process = std::make_unique<WinProcess>(info);
    return 0;
  }

  int RunElevatedHidden(const std::string& file, const std::string& parameters) override {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.lpVerb = "runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_HIDE;
    if (ShellExecuteExA(&info)) return 0;
    return Kept(static_cast<int>(GetLastError()));
  }

  int Launch(const std::string& verb, const std::string& file) override {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = verb.c_str();
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info)) return 0;
    const DWORD error = GetLastError();
    if (error != 0) return Kept(static_cast<int>(error));
    // A shell that reports only through hInstApp: its SE_ERR codes below 32
    // share their numbers with the system's.
    const auto code = reinterpret_cast<INT_PTR>(info.hInstApp);
    return Kept(code > 0 && code <= 32 ? static_cast<int>(code) : 31);  // ERROR_GEN_FAILURE
  }

  // system() hands the command to "cmd /c", which takes away the first and
  // the last quote of a line holding special characters such as the
  // parentheses of "Program Files (x86)"; one more pair of quotes is what it
  // takes away then, and the command reaches it as written.
  int RunCommand(const std::string& command) override {
    const int result = std::system(("\"" + command + "\"").c_str());
    if (result == -1) Kept(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE);
    return result;
  }

  bool UserIsAdmin() override { return IsUserAnAdmin() != FALSE; }

  bool QueryOsVersion(OsVersion& version) override {
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    BOOL ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended));
    if (!ok) {
      extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
      ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended));
    }
    if (!ok) return false;
    version.platformId = extended.dwPlatformId;
    version.major = extended.dwMajorVersion;
    version.minor = extended.dwMinorVersion;
    return true;
  }

  int ProcessorArchitecture() override {
    using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
    SYSTEM_INFO info{};
    auto native = reinterpret_cast<NativeInfo>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
    if (native)
      native(&info);
    else
      GetSystemInfo(&info);
    return info.wProcessorArchitecture;
  }

  bool ProductType(uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                   uint32_t& type) override {
    using ProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
    auto call = reinterpret_cast<ProductInfo>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetProductInfo")));
    if (!call) return false;
    DWORD product = 0;
    call(major, minor, spMajor, spMinor, &product);
    type = product;
    return true;
  }

  std::string ProgramFileName(const std::string& program) const override {
    return program + ".exe";
  }

  int LastError() override { return tProcessesError; }
};

}  // namespace

Processes& NewProcesses() {
  static WinProcesses processes;
  return processes;
}

}  // namespace platform::win32
