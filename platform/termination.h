// Termination requests of a headless program (SIGINT, SIGTERM on POSIX).
#pragma once

#include <functional>

namespace platform {

// Blocks the termination signals in the calling thread and in every thread
// it starts afterwards, and calls `onSignal` from a watcher thread whenever
// one arrives. Call once, early in main, before any other thread starts.
void WatchTerminationSignals(std::function<void(int)> onSignal);

}  // namespace platform
