// POSIX durable files: O_APPEND descriptors created 0600, fdatasync, a 0700
// folder, and an fsync of the folder when a file is created so that its name
// survives a power cut as well as its bytes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/native.h"

namespace platform::posix {
namespace {

class PosixDurableFile : public DurableFile {
 public:
  explicit PosixDurableFile(int fd) : fd_(fd) {}
  ~PosixDurableFile() override { close(fd_); }
  PosixDurableFile(const PosixDurableFile&) = delete;
  PosixDurableFile& operator=(const PosixDurableFile&) = delete;

  int Append(const void* data, std::size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = write(fd_, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      if (n == 0) return EIO;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return 0;
  }

  // fdatasync: the bytes and what reading them back needs (the file's
  // size) reach the disk; only the times, which nothing reads, may lag.
  int Flush() override {
    while (fdatasync(fd_) != 0) {
      if (errno != EINTR) return errno;
    }
    return 0;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int result = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  return result;
}

int ReadFrom(int fd, uint64_t offset, std::size_t size, std::string& bytes) {
  bytes.clear();
  struct stat st {};
  if (fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > offset) {
    bytes.reserve(std::min<uint64_t>(size, static_cast<uint64_t>(st.st_size) - offset));
  }
  char buffer[65536];
  while (bytes.size() < size) {
    const std::size_t want = std::min(sizeof buffer, size - bytes.size());
    const ssize_t n = pread(fd, buffer, want, static_cast<off_t>(offset + bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

int PosixDurableFiles::MakePrivateDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0) return 0;
  if (errno != EEXIST) return errno;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  if ((st.st_mode & 0777) != 0700 && chmod(path.c_str(), 0700) != 0) return errno;
  return 0;
}

int PosixDurableFiles::OpenAppend(const std::string& path, std::unique_ptr<DurableFile>& file) {
  file.reset();
  bool created = true;
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  }
  if (fd < 0) return errno;
  file = std::make_unique<PosixDurableFile>(fd);
  return created ? SyncFolder(FolderOf(path)) : 0;
}

int PosixDurableFiles::ReadAll(const std::string& path, std::string& bytes) {
  return ReadAt(path, 0, static_cast<std::size_t>(-1), bytes);
}

int PosixDurableFiles::ReadAt(const std::string& path, uint64_t offset, std::size_t size,
                              std::string& bytes) {
  bytes.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int result = ReadFrom(fd, offset, size, bytes);
  close(fd);
  return result;
}

int PosixDurableFiles::ListFiles(const std::string& path, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  DIR* dir = opendir(path.c_str());
  if (!dir) return errno;
  while (const dirent* entry = readdir(dir)) {
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode)) continue;
    entries.push_back({entry->d_name, static_cast<uint64_t>(st.st_size)});
  }
  closedir(dir);
  return 0;
}

int PosixDurableFiles::Remove(const std::string& path) {
  return unlink(path.c_str()) == 0 ? 0 : errno;
}

int PosixDurableFiles::RemoveFolder(const std::string& path) {
  return rmdir(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace platform::posix
