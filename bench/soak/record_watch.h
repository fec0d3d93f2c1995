// Follows the printer's printed record as it grows (inotify), keeping all of
// it in memory with the time each part arrived, so the soak can wait for a
// job to come out instead of sleeping.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/soak/verdict.h"

namespace soak {

class RecordWatch {
 public:
  // `now` gives the run's clock in seconds.
  RecordWatch(std::string path, std::function<double()> now);
  ~RecordWatch();
  RecordWatch(const RecordWatch&) = delete;
  RecordWatch& operator=(const RecordWatch&) = delete;

  bool Start(std::string* error);
  void Stop();

  size_t Size();
  // Waits until `found` says yes for the record from `from` (given the bytes
  // from there and their offset), or until the deadline (run seconds). The
  // record is locked while `found` runs.
  bool WaitFor(size_t from, double deadline,
               const std::function<bool(const uint8_t*, size_t, size_t)>& found);
  // Waits until nothing was added for `quiet` seconds, at most until `deadline`.
  bool WaitQuiet(double quiet, double deadline);

  std::vector<uint8_t> Bytes();
  std::vector<Checkpoint> Checkpoints();

 private:
  void Run();
  void ReadMore();

  std::string path_;
  std::function<double()> now_;
  int inotify_ = -1;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable grew_;
  std::vector<uint8_t> bytes_;
  std::vector<Checkpoint> checkpoints_;
  double lastGrowth_ = 0;
};

}  // namespace soak
