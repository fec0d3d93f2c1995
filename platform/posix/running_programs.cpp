// The running relay on POSIX: the holder of this installation's
// single-instance lock, whose process id the lock file holds (instance.cpp).
// SIGTERM asks it to end, SIGKILL ends it; the lock coming free tells that
// it has gone, also while its parent has not collected it yet.
#include "platform/running_programs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/posix/native.h"

namespace platform::posix {
namespace {

constexpr int kPidWaitMs = 2000;  // the holder publishes its id right after locking
constexpr int kPollMs = 20;

std::string DirectoryOf(const std::string& path) {
  const size_t cut = path.rfind('/');
  return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

std::string ProgramOf(pid_t pid) {
  std::vector<char> buffer(8192, '\0');
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

// True while some process holds the lock exclusively.
bool Held(int fd) {
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    flock(fd, LOCK_UN);
    return false;
  }
  return errno == EWOULDBLOCK;
}

pid_t PublishedPid(int fd) {
  char buffer[32] = {};
  const ssize_t n = pread(fd, buffer, sizeof buffer - 1, 0);
  return n > 0 ? static_cast<pid_t>(std::atoll(buffer)) : 0;
}

int WindowsError(int error) { return error == EPERM ? 5 : 31; }  // ACCESS_DENIED, GEN_FAILURE

class LockHolder : public RunningProgram {
 public:
  LockHolder(int fd, pid_t pid) : fd_(fd), pid_(pid) {}
  ~LockHolder() override { close(fd_); }

  bool StillActive() override { return Held(fd_); }

  int RequestExit(uint32_t) override { return kill(pid_, SIGTERM) == 0 ? 0 : WindowsError(errno); }

  bool WaitForEnd(uint32_t timeoutMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (!Held(fd_)) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
  }

  int Terminate(uint32_t) override { return kill(pid_, SIGKILL) == 0 ? 0 : WindowsError(errno); }

  std::string ModulePath() override { return ProgramOf(pid_); }

 private:
  int fd_;
  pid_t pid_;
};

class LockRunningPrograms : public RunningPrograms {
 public:
  std::unique_ptr<RunningProgram> FindService(const std::string&,
                                              const std::string& lockName) override {
    const std::string path = InstanceLockPath(lockName);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // Only a process of this installation is the holder: one whose program
    // lies beside the lock. Until the holder has written its id the file may
    // still name an earlier, long gone holder.
    const std::string directory = DirectoryOf(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPidWaitMs);
    while (Held(fd)) {
      const pid_t pid = PublishedPid(fd);
      if (pid > 0 && DirectoryOf(ProgramOf(pid)) == directory)
        return std::make_unique<LockHolder>(fd, pid);
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    close(fd);
    return nullptr;
  }
};

}  // namespace

RunningPrograms& NewRunningPrograms() {
  static LockRunningPrograms programs;
  return programs;
}

}  // namespace platform::posix
