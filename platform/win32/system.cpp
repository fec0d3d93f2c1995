// Win32 system services: debugger output, GetACP, plain message boxes, the
// UTF-8 to ANSI code page conversion of the program's own texts and a code
// page's text to UTF-8.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "platform/os_error.h"
#include "platform/win32/native.h"

namespace platform::win32 {

void WinSystem::DebugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

unsigned WinSystem::AnsiCodePage() { return GetACP(); }

void WinSystem::ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

std::string WinSystem::FromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  int wide =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide <= 0) return utf8;
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
  int narrow = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return utf8;
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
}

std::string WinSystem::ToUtf8(const std::string& bytes, unsigned codePage) {
  if (bytes.empty()) return {};
  // Without MB_ERR_INVALID_CHARS a byte the code page lacks becomes its default character.
  const int size = static_cast<int>(bytes.size());
  const int wide = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (wide <= 0) return std::string(bytes.size(), '?');
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, w.data(), wide);
  const int narrow = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::string(bytes.size(), '?');
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
}

}  // namespace platform::win32

namespace platform {

std::string OsErrorText(int code) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() &&
         (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  return out;
}

// A COM port another program holds fails its CreateFile with access denied.
OsCause OsCauseOf(int code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
      return OsCause::kHeld;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_INVALID_PRINTER_NAME:
      return OsCause::kNotFound;
    case WSAECONNREFUSED:
      return OsCause::kRefused;
    case WSAETIMEDOUT:
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
      return OsCause::kTimedOut;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      return OsCause::kUnreachable;
    default:
      return OsCause::kOther;
  }
}

int OsErrorFor(OsCause cause) {
  switch (cause) {
    case OsCause::kHeld:
      return ERROR_ACCESS_DENIED;
    case OsCause::kNotFound:
      return ERROR_FILE_NOT_FOUND;
    case OsCause::kRefused:
      return WSAECONNREFUSED;
    case OsCause::kTimedOut:
      return WSAETIMEDOUT;
    case OsCause::kUnreachable:
      return WSAEHOSTUNREACH;
    case OsCause::kOther:
      break;
  }
  return 0;
}

}  // namespace platform
