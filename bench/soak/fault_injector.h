// Injects the printer's faults through printer-sim's operator commands and
// clears each one when its time is up, on a thread of its own so that a
// fault can outlast the job it started with. Keeps the span of every fault.
#pragma once

#include <array>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/soak/plan.h"
#include "bench/soak/verdict.h"

namespace soak {

class FaultInjector {
 public:
  // `send` writes one operator command to the printer; `cts` (may be empty)
  // sets the CTS line of the printer's cable. `now` is the run's clock.
  FaultInjector(std::function<void(const std::string&)> send, std::function<void(bool)> cts,
                std::function<double()> now);
  ~FaultInjector();
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  // Starts the fault (or, when one of the same kind runs, lengthens it).
  // False when it cannot start now: the paper is already out or near its end.
  bool Inject(FaultKind kind, uint32_t durationMs);
  // Something the application did, recorded as a benign span.
  void Note(const std::string& what);
  // Clears every fault at once.
  void ClearAll();
  int Active();

  std::vector<FaultSpan> Spans();
  std::map<std::string, int> Counts();

 private:
  struct Running {
    bool on = false;
    double until = 0;
    size_t span = 0;
  };
  void Run();
  void Clear(FaultKind kind);  // lock held
  void Start(FaultKind kind);  // lock held

  std::function<void(const std::string&)> send_;
  std::function<void(bool)> cts_;
  std::function<double()> now_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::array<Running, kFaultKinds> running_{};
  std::vector<FaultSpan> spans_;
  std::map<std::string, int> counts_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace soak
