// POSIX files: /proc/self/exe for the module path, stat for existence, and
// append-mode text files (LF line ends).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/posix/native.h"

namespace platform::posix {
namespace {

thread_local int tFilesError = 0;

// A call's outcome, keeping errno when it failed.
bool Kept(bool ok) {
  if (!ok) tFilesError = errno != 0 ? errno : EIO;
  return ok;
}

}  // namespace

std::string PosixFiles::ModuleFileName() {
  std::vector<char> buffer(8192, '\0');
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(n));
}

bool PosixFiles::FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool PosixFiles::DirectoryExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFiles::MakeDirectory(const std::string& path) {
  return Kept(mkdir(path.c_str(), 0777) == 0);
}

bool PosixFiles::RemoveFile(const std::string& path) { return Kept(unlink(path.c_str()) == 0); }

bool PosixFiles::ClearReadOnly(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Kept(false);
  return Kept(chmod(path.c_str(), st.st_mode | S_IWUSR) == 0);
}

bool PosixFiles::AppendText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "a+");
  if (!f) return Kept(false);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  return Kept(ok);
}

int PosixFiles::LastError() { return tFilesError; }

}  // namespace platform::posix
