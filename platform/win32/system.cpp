// Win32 system services: debugger output, GetACP, plain message boxes and the
// UTF-8 to ANSI code page conversion of the program's own texts.
#include <windows.h>

#include <string>

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

}  // namespace platform::win32
