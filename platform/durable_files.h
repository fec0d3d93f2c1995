// Files that must outlive a crash or a power cut: the job journal's day-files.
// Appends go to the end of one open file, Flush puts them on stable storage
// (fdatasync / FlushFileBuffers). What the journal holds is customers' receipts,
// so its folder and files are the owner's only (POSIX: 0700 and 0600).
//
// Results are ints: 0 success, otherwise the OS's own error number (errno,
// GetLastError) taken right after the failing call, for the log.
//
// Threads: one DurableFile is used by one thread at a time; the DurableFiles
// object holds no state and may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class DurableFile {
 public:
  virtual ~DurableFile() = default;  // closes the file
  // Writes all `size` bytes at the end of the file.
  virtual int Append(const void* data, std::size_t size) = 0;
  // Returns once everything appended so far is on stable storage.
  virtual int Flush() = 0;
};

struct DirectoryEntry {
  std::string name;  // without the folder
  uint64_t size = 0;
};

class DurableFiles {
 public:
  virtual ~DurableFiles() = default;
  // Creates the folder readable by its owner only, or narrows an existing
  // one to that. 0 when the folder exists afterwards.
  virtual int MakePrivateDirectory(const std::string& path) = 0;
  // Opens the file for appending, creating it (owner only) when missing; a
  // new file's name is made durable in its folder too.
  virtual int OpenAppend(const std::string& path, std::unique_ptr<DurableFile>& file) = 0;
  // The whole file, or up to `size` bytes from `offset` (fewer at its end).
  virtual int ReadAll(const std::string& path, std::string& bytes) = 0;
  virtual int ReadAt(const std::string& path, uint64_t offset, std::size_t size,
                     std::string& bytes) = 0;
  // The regular files of the folder, in no particular order.
  virtual int ListFiles(const std::string& path, std::vector<DirectoryEntry>& entries) = 0;
  virtual int Remove(const std::string& path) = 0;
  // Removes an empty folder (the uninstallers, once its files are gone).
  virtual int RemoveFolder(const std::string& path) = 0;
};

}  // namespace platform
