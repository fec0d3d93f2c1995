// SIGINT / SIGTERM delivered to one watcher thread through sigwait, so the
// handler may do anything (no async-signal-safety limits).
#include "platform/termination.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace platform {

void WatchTerminationSignals(std::function<void(int)> onSignal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, onSignal = std::move(onSignal)] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) == 0) onSignal(signal);
    }
  }).detach();
}

}  // namespace platform
