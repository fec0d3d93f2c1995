// Win32 single instance: the named mutex, and a small named file mapping as the
// shared instance cell that holds the first instance's window handle.
#include <windows.h>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

class WinInstance : public SingleInstance {
 public:
  ~WinInstance() override {
    if (cell_) UnmapViewOfFile(const_cast<std::intptr_t*>(cell_));
    if (mapping_) CloseHandle(mapping_);
    if (mutex_) CloseHandle(mutex_);
  }

  bool Acquire(const std::string& name) override {
    mutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    std::string cellName = name + "_InstanceCell";
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(std::intptr_t), cellName.c_str());
    if (mapping_) {
      cell_ = static_cast<volatile std::intptr_t*>(
          MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(std::intptr_t)));
    }
    return !existed;
  }

  void PublishWindow(std::intptr_t window) override {
    if (cell_) *cell_ = window;
  }

  std::intptr_t PublishedWindow() override { return cell_ ? *cell_ : 0; }

 private:
  HANDLE mutex_ = nullptr;
  HANDLE mapping_ = nullptr;
  volatile std::intptr_t* cell_ = nullptr;
};

}  // namespace

SingleInstance& NewInstance() {
  static WinInstance instance;
  return instance;
}
}  // namespace platform::win32
