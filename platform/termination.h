// Implemented by platform/posix/termination.cpp (the POSIX build only).
// Termination requests of a headless program (SIGINT, SIGTERM on POSIX), and
// the user's requests that a window's buttons would carry (SIGUSR1, SIGUSR2).
#pragma once

#include <functional>

namespace platform {

// What a user asks of a headless program that has no buttons to click.
enum class WindowCommand {
  kPortCheck,    // SIGUSR1: the application port check
  kBannerPrint,  // SIGUSR2: the developer's banner print
};

// Blocks the termination signals (and, when `onCommand` is given, the command
// signals) in the calling thread and in every thread it starts afterwards,
// and calls `onSignal` or `onCommand` from a watcher thread whenever one
// arrives. Call once, early in main, before any other thread starts.
void WatchTerminationSignals(std::function<void(int)> onSignal,
                             std::function<void(WindowCommand)> onCommand = nullptr);

}  // namespace platform
