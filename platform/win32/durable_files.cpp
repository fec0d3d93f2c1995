// Win32 durable files: FILE_APPEND_DATA handles, FlushFileBuffers, and a
// folder created with the inherited access of the program's folder (which an
// installation under Program Files already keeps from other users' writes).
// Read handles share deletion so that pruning never waits on a reader.
#include <windows.h>

#include <algorithm>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

class WinDurableFile : public DurableFile {
 public:
  explicit WinDurableFile(HANDLE handle) : handle_(handle) {}
  ~WinDurableFile() override { CloseHandle(handle_); }
  WinDurableFile(const WinDurableFile&) = delete;
  WinDurableFile& operator=(const WinDurableFile&) = delete;

  int Append(const void* data, std::size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
      DWORD written = 0;
      if (!WriteFile(handle_, p, want, &written, nullptr)) return static_cast<int>(GetLastError());
      if (written == 0) return ERROR_WRITE_FAULT;
      p += written;
      size -= written;
    }
    return 0;
  }

  int Flush() override { return FlushFileBuffers(handle_) ? 0 : static_cast<int>(GetLastError()); }

 private:
  HANDLE handle_;
};

int ReadFrom(HANDLE handle, uint64_t offset, std::size_t size, std::string& bytes) {
  bytes.clear();
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN)) {
    return static_cast<int>(GetLastError());
  }
  char buffer[65536];
  while (bytes.size() < size) {
    const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, size - bytes.size()));
    DWORD read = 0;
    if (!ReadFile(handle, buffer, want, &read, nullptr)) return static_cast<int>(GetLastError());
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return 0;
}

}  // namespace

int WinDurableFiles::MakePrivateDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return 0;
  const DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS) return static_cast<int>(error);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return static_cast<int>(GetLastError());
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_DIRECTORY;
}

int WinDurableFiles::OpenAppend(const std::string& path, std::unique_ptr<DurableFile>& file) {
  file.reset();
  HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  file = std::make_unique<WinDurableFile>(handle);
  return 0;
}

int WinDurableFiles::ReadAll(const std::string& path, std::string& bytes) {
  return ReadAt(path, 0, static_cast<std::size_t>(-1), bytes);
}

int WinDurableFiles::ReadAt(const std::string& path, uint64_t offset, std::size_t size,
                            std::string& bytes) {
  bytes.clear();
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  const int result = ReadFrom(handle, offset, size, bytes);
  CloseHandle(handle);
  return result;
}

int WinDurableFiles::ListFiles(const std::string& path, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
  }
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entries.push_back({data.cFileName, size});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return 0;
}

int WinDurableFiles::Remove(const std::string& path) {
  return DeleteFileA(path.c_str()) ? 0 : static_cast<int>(GetLastError());
}

int WinDurableFiles::RemoveFolder(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) ? 0 : static_cast<int>(GetLastError());
}

}  // namespace platform::win32
