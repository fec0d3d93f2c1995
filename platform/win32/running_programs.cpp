// The running relay on Windows: a process snapshot, a thread at ExitProcess
// in it, TerminateProcess when it does not end.
#include "platform/running_programs.h"

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

class WinRunningProgram : public RunningProgram {
 public:
  explicit WinRunningProgram(HANDLE process) : process_(process) {}
  ~WinRunningProgram() override { CloseHandle(process_); }

  bool StillActive() override {
    DWORD code = 0;
    return GetExitCodeProcess(process_, &code) && code == STILL_ACTIVE;
  }

  // The program's own kernel32 is mapped where ours is, so our ExitProcess
  // address is valid in it (both are 32-bit or both 64-bit; otherwise the
  // thread cannot be created and the caller ends the program by force).
  int RequestExit(uint32_t exitCode) override {
    auto exitProcess = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitProcess")));
    if (!exitProcess) return static_cast<int>(GetLastError());
    HANDLE thread =
        CreateRemoteThread(process_, nullptr, 0, exitProcess,
                           reinterpret_cast<LPVOID>(static_cast<uintptr_t>(exitCode)), 0, nullptr);
    if (!thread) return static_cast<int>(GetLastError());
    CloseHandle(thread);
    return 0;
  }

  bool WaitForEnd(uint32_t timeoutMs) override {
    return WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
  }

  int Terminate(uint32_t exitCode) override {
    return TerminateProcess(process_, exitCode) ? 0 : static_cast<int>(GetLastError());
  }

  std::string ModulePath() override {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameExA(process_, nullptr, path, sizeof path);
    return std::string(path, n);
  }

 private:
  HANDLE process_;
};

class WinRunningPrograms : public RunningPrograms {
 public:
  std::unique_ptr<RunningProgram> FindService(const std::string& fileName,
                                              const std::string&) override {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
    std::unique_ptr<RunningProgram> found;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
      if (std::strcmp(entry.szExeFile, fileName.c_str()) != 0) continue;
      HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
      if (process) found = std::make_unique<WinRunningProgram>(process);
    }
    CloseHandle(snapshot);
    return found;
  }
};

}  // namespace

RunningPrograms& NewRunningPrograms() {
  static WinRunningPrograms programs;
  return programs;
}

}  // namespace platform::win32
