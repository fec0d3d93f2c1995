// Child processes for integration tests (POSIX).
#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace support {
namespace {

// Process ids, or negative process group ids, the termination handler ends.
// Plain atomics: the handler reads them, and may run at any time.
std::atomic<int> gToEnd[64];

void Remember(int id) {
  for (auto& slot : gToEnd) {
    int empty = 0;
    if (slot.compare_exchange_strong(empty, id)) return;
  }
}

void Forget(int id) {
  for (auto& slot : gToEnd) {
    int expected = id;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

void EndStarted(int signal) {
  for (auto& slot : gToEnd) {
    const int id = slot.load();
    if (id != 0) ::kill(id, SIGTERM);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void EndChildrenOnTermination() {
  struct sigaction action {};
  action.sa_handler = EndStarted;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

void AlsoEndOnTermination(int pid, int previousPid) {
  if (previousPid > 0) Forget(previousPid);
  if (pid > 0) Remember(pid);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    ::kill(-pid_, SIGKILL);
    WaitExit(5000);
  }
  if (stdinFd_ >= 0) ::close(stdinFd_);
  if (reader_.joinable()) reader_.join();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const Options& options) {
  // A second start of the same object: the first program must be over.
  if (pid_ > 0 && !status_) {
    ::kill(-pid_, SIGKILL);
    WaitExit(5000);
  }
  if (reader_.joinable()) reader_.join();
  if (stdinFd_ >= 0) ::close(stdinFd_);
  stdinFd_ = -1;
  status_.reset();
  {
    std::lock_guard<std::mutex> g(lock_);
    lines_.clear();
    partial_.clear();
  }
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return false;
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::setpgid(0, 0);
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    if (options.mergeStderr) ::dup2(out[1], 2);
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0)
      ::_exit(126);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  pid_ = pid;
  Remember(-pid);
  ::close(in[0]);
  ::close(out[1]);
  stdinFd_ = in[1];
  reader_ = std::thread(&ChildProcess::ReadOutput, this, out[0]);
  return true;
}

void ChildProcess::ReadOutput(int fd) {
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    std::lock_guard<std::mutex> g(lock_);
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] == '\n') {
        lines_.push_back(partial_);
        partial_.clear();
      } else {
        partial_ += buffer[i];
      }
    }
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> g(lock_);
  if (!partial_.empty()) lines_.push_back(partial_);
  partial_.clear();
  ::close(fd);
  changed_.notify_all();
}

bool ChildProcess::Running() { return pid_ > 0 && !WaitExit(0); }

std::optional<int> ChildProcess::WaitExit(int timeoutMs) {
  if (status_) return status_;
  if (pid_ <= 0) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      Forget(-pid_);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !status_) ::kill(-pid_, signal);
}

void ChildProcess::WriteStdin(const std::string& text) {
  if (stdinFd_ < 0) return;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(stdinFd_, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void ChildProcess::CloseStdin() {
  if (stdinFd_ >= 0) ::close(stdinFd_);
  stdinFd_ = -1;
}

std::optional<size_t> ChildProcess::WaitForLine(const std::string& text, size_t from,
                                                int timeoutMs) {
  std::unique_lock<std::mutex> g(lock_);
  std::optional<size_t> found;
  changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
    for (size_t i = from; i < lines_.size(); ++i) {
      if (lines_[i].find(text) != std::string::npos) {
        found = i;
        return true;
      }
    }
    return false;
  });
  return found;
}

bool ChildProcess::WaitForOutput(const std::string& text, int timeoutMs) {
  return WaitForLine(text, 0, timeoutMs).has_value();
}

std::vector<std::string> ChildProcess::Lines() {
  std::lock_guard<std::mutex> g(lock_);
  return lines_;
}

std::string ChildProcess::Output() {
  std::lock_guard<std::mutex> g(lock_);
  std::string out;
  for (const auto& l : lines_) out += l + "\n";
  return out + partial_;
}

std::string ExecutableDirectory() {
  char buffer[4096] = {};
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

double ProcessorSeconds(int pid) {
  clockid_t id;
  timespec t{};
  if (pid <= 0 || clock_getcpuclockid(pid, &id) != 0 || clock_gettime(id, &t) != 0) return -1;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int FindProcess(const std::function<bool(const std::string&, const std::string&, int)>& match) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string cwd = fs::read_symlink(entry.path() / "cwd", ec).string();
    std::ifstream cmdFile(entry.path() / "cmdline");
    const std::string cmdline((std::istreambuf_iterator<char>(cmdFile)), {});
    std::ifstream statFile(entry.path() / "stat");
    const std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    int group = -1;
    const size_t close = stat.rfind(')');
    if (close != std::string::npos) std::sscanf(stat.c_str() + close + 2, "%*c %*d %d", &group);
    if (match(cwd, cmdline, group)) return std::stoi(name);
  }
  return -1;
}

}  // namespace support
