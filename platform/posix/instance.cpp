// POSIX single instance: an exclusive flock on a lock file beside the program
// (one installation plays the part of one machine). The shared cell is the
// file's content: the first instance's process id stands in for its window.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix/native.h"

namespace platform::posix {

std::string InstanceLockPath(const std::string& name) {
  PosixFiles files;
  std::string exe = files.ModuleFileName();
  std::string dir = exe.substr(0, exe.rfind('/'));
  return dir + "/." + name + ".lock";
}

namespace {

class PosixInstance : public SingleInstance {
 public:
  ~PosixInstance() override {
    if (fd_ >= 0) close(fd_);
  }

  bool Acquire(const std::string& name) override {
    fd_ = open(InstanceLockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return true;  // no lock possible: behave as the only instance
    return flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }

  // There is no window: the process id stands in for it.
  void PublishWindow(std::intptr_t) override {
    if (fd_ < 0) return;
    std::string text = std::to_string(getpid()) + "\n";
    if (ftruncate(fd_, 0) == 0) {
      ssize_t ignored = pwrite(fd_, text.data(), text.size(), 0);
      (void)ignored;
    }
  }

  std::intptr_t PublishedWindow() override {
    if (fd_ < 0) return 0;
    char buffer[32] = {};
    ssize_t n = pread(fd_, buffer, sizeof buffer - 1, 0);
    return n > 0 ? static_cast<std::intptr_t>(std::atoll(buffer)) : 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace

SingleInstance& NewInstance() {
  static PosixInstance instance;
  return instance;
}

}  // namespace platform::posix
