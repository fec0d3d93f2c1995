// The pop-up policy of the headless build: every message is printed and
// answered with OK (a reprint goes ahead). Nobody clicks here, so the fault
// loops that re-show a message until the printer recovers would spin; instead
// a message shown again right after itself is answered only after a pause that
// doubles from 1 s up to 32 s. A fault that lasts an hour therefore shows (and
// logs) its message at most about 120 times, and it is printed on the console
// only at the 1st, 2nd, 4th, 8th, ... showing.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/prompt.h"
#include "platform/clock.h"

namespace ui::posix {

class HeadlessPrompt : public core::Prompt {
 public:
  static constexpr uint32_t kFirstPauseMs = 1000;
  static constexpr uint32_t kLongestPauseMs = 32000;

  HeadlessPrompt(platform::Clock& clock, std::FILE* out) : clock_(clock), out_(out) {}
  int Show(const std::string& text, int kind, const std::atomic<int>* dismiss) override;

 private:
  // Sleeps in short steps so that a stop request ends the pause.
  void Pause(uint32_t ms, const std::atomic<int>* dismiss);

  platform::Clock& clock_;
  std::FILE* out_;
  std::mutex lock_;
  std::string lastText_;
  int lastKind_ = -1;
  uint64_t repeats_ = 0;
};

}  // namespace ui::posix
