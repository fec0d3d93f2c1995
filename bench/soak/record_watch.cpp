// RecordWatch: inotify on the file, reads of what was appended.
#include "bench/soak/record_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace soak {
namespace {

std::chrono::steady_clock::time_point Until(double deadline, double now) {
  return std::chrono::steady_clock::now() +
         std::chrono::milliseconds(static_cast<long long>((deadline - now) * 1000) + 1);
}

}  // namespace

RecordWatch::RecordWatch(std::string path, std::function<double()> now)
    : path_(std::move(path)), now_(std::move(now)) {}

RecordWatch::~RecordWatch() { Stop(); }

bool RecordWatch::Start(std::string* error) {
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0 || inotify_ < 0 || ::inotify_add_watch(inotify_, path_.c_str(), IN_MODIFY) < 0) {
    *error = "cannot follow " + path_ + ": " + std::strerror(errno);
    return false;
  }
  lastGrowth_ = now_();
  thread_ = std::thread(&RecordWatch::Run, this);
  return true;
}

void RecordWatch::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
  if (inotify_ >= 0) ::close(inotify_);
  fd_ = inotify_ = -1;
}

void RecordWatch::Run() {
  char events[4096];
  while (!stop_) {
    pollfd p{inotify_, POLLIN, 0};
    // The time limit only lets the thread see the stop flag.
    if (::poll(&p, 1, 200) > 0) {
      while (::read(inotify_, events, sizeof events) > 0) {
      }
    }
    ReadMore();
  }
  ReadMore();
}

void RecordWatch::ReadMore() {
  uint8_t buffer[65536];
  bool grew = false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    std::lock_guard<std::mutex> g(lock_);
    bytes_.insert(bytes_.end(), buffer, buffer + n);
    grew = true;
  }
  if (!grew) return;
  {
    std::lock_guard<std::mutex> g(lock_);
    lastGrowth_ = now_();
    checkpoints_.push_back(Checkpoint{lastGrowth_, bytes_.size()});
  }
  grew_.notify_all();
}

size_t RecordWatch::Size() {
  std::lock_guard<std::mutex> g(lock_);
  return bytes_.size();
}

bool RecordWatch::WaitFor(size_t from, double deadline,
                          const std::function<bool(const uint8_t*, size_t, size_t)>& found) {
  std::unique_lock<std::mutex> g(lock_);
  size_t seen = static_cast<size_t>(-1);
  for (;;) {
    if (bytes_.size() != seen) {
      seen = bytes_.size();
      if (from <= seen && found(bytes_.data() + from, seen - from, from)) return true;
    }
    const double now = now_();
    if (now >= deadline) return false;
    grew_.wait_until(g, Until(deadline, now));
  }
}

bool RecordWatch::WaitQuiet(double quiet, double deadline) {
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    const double now = now_();
    if (now - lastGrowth_ >= quiet) return true;
    if (now >= deadline) return false;
    grew_.wait_until(g, Until(std::min(deadline, lastGrowth_ + quiet), now));
  }
}

std::vector<uint8_t> RecordWatch::Bytes() {
  std::lock_guard<std::mutex> g(lock_);
  return bytes_;
}

std::vector<Checkpoint> RecordWatch::Checkpoints() {
  std::lock_guard<std::mutex> g(lock_);
  return checkpoints_;
}

}  // namespace soak
