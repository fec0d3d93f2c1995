// A fresh temporary directory for one test, removed with everything in it.
#pragma once

#include <string>

namespace support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + native separator + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// The whole file; "" when it cannot be read (for instance, not there yet).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// The whole log an installation in `folder` wrote: every day's file of its
// MainLog folder, oldest first ("" while there is none).
std::string ReadLogFolder(const std::string& folder);

}  // namespace support
