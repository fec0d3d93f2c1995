// USB printers on Windows: SetupAPI, loaded at run time by name, lists the
// device interfaces of the USB printer class; a printer is opened by its
// interface path; the registry says whether the device is still linked.
#include "platform/usb_printers.h"

#include <windows.h>
// SetupAPI's types need windows.h first.
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <mutex>

#include "platform/usb_registry_check.h"
#include "platform/win32/comm_handle.h"
#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}: GUID_DEVINTERFACE_USBPRINT.
const GUID kUsbPrinterClass = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// The printer class driver has no read time-outs; an empty read ends here.
constexpr DWORD kReadWaitMs = 1000;
// Interface paths are copied into a 256-byte buffer.
constexpr size_t kPathBufferSize = 256;

using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumInterfacesFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                       PSP_DEVICE_INTERFACE_DATA);
using GetDetailFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD,
                                  PSP_DEVINFO_DATA);
using DestroyListFn = BOOL(WINAPI*)(HDEVINFO);

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// GetLastError() of the calling thread's last failed open.
thread_local int tOpenError = 0;

class WinUsbPrinters : public UsbPrinters {
 public:
  bool LoadSetupLibrary() override {
    std::lock_guard<std::mutex> g(lock_);
    if (library_) return true;
    HMODULE library = LoadLibraryA("SETUPAPI.DLL");
    if (!library) return false;
    enumInterfaces_ = Resolve<EnumInterfacesFn>(library, "SetupDiEnumDeviceInterfaces");
    destroyList_ = Resolve<DestroyListFn>(library, "SetupDiDestroyDeviceInfoList");
    getClassDevs_ = Resolve<GetClassDevsFn>(library, "SetupDiGetClassDevsA");
    getDetail_ = Resolve<GetDetailFn>(library, "SetupDiGetDeviceInterfaceDetailA");
    if (!enumInterfaces_ || !destroyList_ || !getClassDevs_ || !getDetail_) {
      FreeLibrary(library);
      return false;
    }
    library_ = library;
    return true;
  }

  void FreeSetupLibrary() override {
    std::lock_guard<std::mutex> g(lock_);
    if (library_) FreeLibrary(library_);
    library_ = nullptr;
  }

  int ListPrinters(std::vector<std::string>& paths) override {
    std::lock_guard<std::mutex> g(lock_);
    paths.clear();
    if (!library_) return 0;
    HDEVINFO set =
        getClassDevs_(&kUsbPrinterClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return 0;
    // The list ends where the enumeration reports no more items.
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA data{};
      data.cbSize = sizeof data;
      if (!enumInterfaces_(set, nullptr, &kUsbPrinterClass, index, &data)) break;
      std::string path;
      if (InterfacePath(set, data, path)) paths.push_back(path);
    }
    destroyList_(set);
    return static_cast<int>(paths.size());
  }

  std::unique_ptr<SerialPort> Open(const std::string& path, bool overlapped) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
      tOpenError = static_cast<int>(GetLastError());
      return nullptr;
    }
    return AdoptCommHandle(h, overlapped, kReadWaitMs);
  }

  int LastError() override { return tOpenError; }

  int CheckLink(const std::string& devicePath, bool view64) override {
    return CheckUsbRegistryLink(NewRegistry(), devicePath, view64);
  }

 private:
  // The detail record's size first, then the record (its size member set for
  // the ANSI layout); the path is cut to the 256-byte buffer it goes into.
  bool InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, std::string& path) {
    DWORD size = 0;
    getDetail_(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || size > 64 * 1024) return false;
    std::unique_ptr<DWORD[]> storage(new DWORD[size / sizeof(DWORD) + 1]());
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!getDetail_(set, &data, detail, size, nullptr, nullptr)) return false;
    const size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    path.assign(detail->DevicePath, strnlen(detail->DevicePath, room));
    if (path.size() > kPathBufferSize - 1) path.resize(kPathBufferSize - 1);
    return true;
  }

  std::mutex lock_;
  HMODULE library_ = nullptr;
  EnumInterfacesFn enumInterfaces_ = nullptr;
  DestroyListFn destroyList_ = nullptr;
  GetClassDevsFn getClassDevs_ = nullptr;
  GetDetailFn getDetail_ = nullptr;
};

}  // namespace

UsbPrinters& NewUsbPrinters() {
  static WinUsbPrinters printers;
  return printers;
}

}  // namespace platform::win32
