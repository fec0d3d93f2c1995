// Win32 files: module path, FindFirstFileA existence test, append-mode text files.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

thread_local int tFilesError = 0;

// A call's outcome, keeping GetLastError when it failed.
bool Kept(bool ok) {
  if (!ok) {
    const DWORD error = GetLastError();
    tFilesError = error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
  }
  return ok;
}

}  // namespace

std::string WinFiles::ModuleFileName() {
  std::vector<char> buffer(32768, '\0');
  DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::string(buffer.data(), n);
}

bool WinFiles::FileExists(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(path.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

bool WinFiles::DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFiles::MakeDirectory(const std::string& path) {
  return Kept(CreateDirectoryA(path.c_str(), nullptr) != 0);
}

bool WinFiles::RemoveFile(const std::string& path) { return Kept(DeleteFileA(path.c_str()) != 0); }

bool WinFiles::ClearReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kept(false);
  return Kept(SetFileAttributesA(path.c_str(),
                                 attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != 0);
}

// The C library's streams set errno, and on failure to open also the
// system's error, which is the one kept.
bool WinFiles::AppendText(const std::string& path, const std::string& text) {
  SetLastError(0);
  FILE* f = std::fopen(path.c_str(), "a+");
  if (!f) return Kept(false);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  return Kept(ok);
}

int WinFiles::LastError() { return tFilesError; }

}  // namespace platform::win32
