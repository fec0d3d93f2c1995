// Implemented by platform/win32/files.cpp and platform/posix/files.cpp.
// Files and the running program's location. Paths are native: the separator
// comes from PathSeparator(), so the core never spells one itself.
#pragma once

#include <string>

namespace platform {

class Files {
 public:
  virtual ~Files() = default;
  // Full path of the running executable (GetModuleFileNameA, uncut).
  virtual std::string ModuleFileName() = 0;
  virtual char PathSeparator() const = 0;
  // True when a file or directory matches the path (FindFirstFileA).
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool MakeDirectory(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Takes the read-only attribute away (POSIX: gives the owner write
  // permission), so that the file can be deleted. False when it cannot.
  virtual bool ClearReadOnly(const std::string& path) = 0;
  // Opens the file in text append mode, writes the bytes, flushes and closes it
  // (Windows text mode turns each "\n" into CR LF). False when it cannot be opened
  // or written.
  virtual bool AppendText(const std::string& path, const std::string& text) = 0;
  // The OS error of the calling thread's last failed call that changes a
  // file (os_error.h); 0 while nothing failed. The existence tests keep none.
  virtual int LastError() = 0;
};

}  // namespace platform
