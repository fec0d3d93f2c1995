// The Windows registry: HKEY_LOCAL_MACHINE through the ANSI registry calls.
#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/native.h"

namespace platform::win32 {
namespace {

thread_local int tRegistryError = 0;

// The registry calls return their error: kept when it is one.
int Kept(LONG result) {
  if (result != ERROR_SUCCESS) tRegistryError = static_cast<int>(result);
  return static_cast<int>(result);
}

REGSAM Sam(int access, bool view64) {
  REGSAM sam = access == kKeyRead ? KEY_READ : access == kKeyWrite ? KEY_WRITE : KEY_ALL_ACCESS;
  return view64 ? sam | KEY_WOW64_64KEY : sam;
}

class WinRegistryKey : public RegistryKey {
 public:
  explicit WinRegistryKey(HKEY key) : key_(key) {}
  ~WinRegistryKey() override { RegCloseKey(key_); }

  int QueryValueSize(const std::string& name, uint32_t& size) override {
    DWORD bytes = 0;
    LONG r = RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr, &bytes);
    if (r == ERROR_SUCCESS) size = bytes;
    return Kept(r);
  }

  int QueryValue(const std::string& name, uint32_t capacity, std::string& data) override {
    std::vector<BYTE> buffer(capacity > 0 ? capacity : 1, 0);
    DWORD bytes = capacity;
    LONG r = RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, buffer.data(), &bytes);
    if (r != ERROR_SUCCESS) return Kept(r);
    if (bytes > capacity) bytes = capacity;
    data.assign(reinterpret_cast<const char*>(buffer.data()), bytes);
    return 0;
  }

  int SetString(const std::string& name, const std::string& value) override {
    return Kept(RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.data()),
                               static_cast<DWORD>(value.size())));
  }

  int DeleteValue(const std::string& name) override {
    return Kept(RegDeleteValueA(key_, name.c_str()));
  }

  int SubkeyNames(std::vector<std::string>& names) override {
    names.clear();
    for (DWORD i = 0;; ++i) {
      char name[256] = {};
      DWORD length = sizeof name;
      LONG r = RegEnumKeyExA(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) return 0;
      if (r != ERROR_SUCCESS) return Kept(r);
      names.emplace_back(name, length);
    }
  }

 private:
  HKEY key_;
};

int OpenIn(HKEY root, const std::string& path, int access, bool view64,
           std::unique_ptr<RegistryKey>& key) {
  HKEY handle = nullptr;
  LONG r = RegOpenKeyExA(root, path.c_str(), 0, Sam(access, view64), &handle);
  if (r != ERROR_SUCCESS) return Kept(r);
  key = std::make_unique<WinRegistryKey>(handle);
  return 0;
}

class WinRegistry : public Registry {
 public:
  int OpenKey(const std::string& path, int access, bool view64,
              std::unique_ptr<RegistryKey>& key) override {
    return OpenIn(HKEY_LOCAL_MACHINE, path, access, view64, key);
  }

  int CreateKey(const std::string& path, bool view64, std::unique_ptr<RegistryKey>& key) override {
    HKEY handle = nullptr;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             Sam(kKeyAllAccess, view64), nullptr, &handle, nullptr);
    if (r != ERROR_SUCCESS) return Kept(r);
    key = std::make_unique<WinRegistryKey>(handle);
    return 0;
  }

  int OpenUserKey(const std::string& path, int access, bool view64,
                  std::unique_ptr<RegistryKey>& key) override {
    return OpenIn(HKEY_CURRENT_USER, path, access, view64, key);
  }

  int LastError() override { return tRegistryError; }
};

}  // namespace

Registry& NewRegistry() {
  static WinRegistry registry;
  return registry;
}

}  // namespace platform::win32
