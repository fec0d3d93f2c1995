// SIGINT / SIGTERM and the command signals delivered to one watcher thread
// through sigwait, so the handlers may do anything (no async-signal-safety
// limits). Every signal is blocked before the watcher starts: a thread that
// left one unblocked would take it with its default action, ending the program.
#include "platform/termination.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace platform {

void WatchTerminationSignals(std::function<void(int)> onSignal,
                             std::function<void(WindowCommand)> onCommand) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (onCommand) {
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2);
  }
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, onSignal = std::move(onSignal), onCommand = std::move(onCommand)] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (signal == SIGUSR1)
        onCommand(WindowCommand::kPortCheck);
      else if (signal == SIGUSR2)
        onCommand(WindowCommand::kBannerPrint);
      else
        onSignal(signal);
    }
  }).detach();
}

}  // namespace platform
