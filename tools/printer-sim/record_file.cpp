// Record file: O_APPEND writes without user-space buffering.
#include "tools/printer-sim/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tools/printer-sim/fd_util.h"

namespace printersim {

int RecordFile::Open(const std::string& path, std::string* error) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    *error = ErrnoText(("open " + path).c_str());
    return -1;
  }
  return 0;
}

int RecordFile::Append(const uint8_t* data, size_t len) {
  if (fd_ < 0) return -1;
  size_t done = 0;
  while (done < len) {
    const ssize_t n = ::write(fd_, data + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  return 0;
}

void RecordFile::Close() { CloseFd(&fd_); }

}  // namespace printersim
