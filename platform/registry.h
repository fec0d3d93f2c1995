// Implemented by platform/win32/registry.cpp and platform/posix/registry.cpp.
// Registry keys and values: machine-wide (HKEY_LOCAL_MACHINE) com0com's
// device keys, the autostart Run key and the uninstall entries, and the
// current user's uninstall entries (HKEY_CURRENT_USER). The calls mirror the Windows
// registry API closely enough that the callers can tell apart the failures
// the relay reacts to (a key that cannot be opened, a value whose size cannot
// be queried, a value whose data cannot be read).
//
// Windows: the real registry. POSIX: a file-backed stand-in kept beside the
// program (see posix/registry.h), so one installation is one machine.
// All calls come from the UI thread; implementations are safe to use from
// several processes at once (the pair installer writes while the relay reads).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum RegistryAccess : int {
  kKeyRead = 1,       // KEY_READ
  kKeyWrite = 2,      // KEY_WRITE
  kKeyAllAccess = 3,  // KEY_ALL_ACCESS
};

// The Windows error codes the callers look at (any other non-zero value is
// some other failure).
inline constexpr int kRegOk = 0;
inline constexpr int kRegNotFound = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr int kRegAccessDenied = 5;  // ERROR_ACCESS_DENIED
inline constexpr int kRegMoreData = 234;    // ERROR_MORE_DATA

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // RegQueryValueExA without a buffer: the size in bytes of the value's data.
  virtual int QueryValueSize(const std::string& name, uint32_t& size) = 0;
  // RegQueryValueExA into a buffer of `capacity` bytes. `data` receives the
  // bytes the call returned; kRegMoreData (and no data) when they do not fit.
  virtual int QueryValue(const std::string& name, uint32_t capacity, std::string& data) = 0;
  // RegSetValueExA as REG_SZ with exactly the bytes of `value` (no terminating
  // zero is added).
  virtual int SetString(const std::string& name, const std::string& value) = 0;
  virtual int DeleteValue(const std::string& name) = 0;
  // The names of the key's direct subkeys, in the registry's order.
  virtual int SubkeyNames(std::vector<std::string>& names) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access), with KEY_WOW64_64KEY
  // when `view64` is set. `path` has no leading or trailing backslash.
  virtual int OpenKey(const std::string& path, int access, bool view64,
                      std::unique_ptr<RegistryKey>& key) = 0;
  // RegCreateKeyExA: the key opened with all access, created (with any
  // missing parents) when it does not exist yet.
  virtual int CreateKey(const std::string& path, bool view64,
                        std::unique_ptr<RegistryKey>& key) = 0;
  // RegOpenKeyExA(HKEY_CURRENT_USER, ...), otherwise as OpenKey.
  virtual int OpenUserKey(const std::string& path, int access, bool view64,
                          std::unique_ptr<RegistryKey>& key) = 0;
  // The OS error of the calling thread's last failed call here or on a key
  // opened here (os_error.h); 0 while nothing failed.
  virtual int LastError() = 0;
};

}  // namespace platform
