// Headless pop-up policy (see the header for the pacing).
#include "ui/posix/headless_prompt.h"

#include <algorithm>

namespace ui::posix {
namespace {

const char* KindName(int kind) {
  switch (kind) {
    case core::kStatusNormal:
      return "normal";
    case core::kStatusError:
      return "error";
    case core::kStatusReprint:
      return "reprint";
    default:
      return "message";
  }
}

bool PowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace

int HeadlessPrompt::Show(const std::string& text, int kind, const std::atomic<int>* dismiss) {
  uint64_t showing;
  uint32_t pause = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (text == lastText_ && kind == lastKind_) {
      ++repeats_;
      const uint64_t shift = std::min<uint64_t>(repeats_ - 1, 5);
      pause = std::min<uint32_t>(kFirstPauseMs << shift, kLongestPauseMs);
    } else {
      lastText_ = text;
      lastKind_ = kind;
      repeats_ = 0;
    }
    showing = repeats_ + 1;
  }
  if (pause) Pause(pause, dismiss);
  if (dismiss && dismiss->load()) return core::kAnswerCancel;
  if (PowerOfTwo(showing) && out_) {
    if (showing == 1) {
      std::fprintf(out_, "portrelay: [%s] %s\n", KindName(kind), text.c_str());
    } else {
      std::fprintf(out_, "portrelay: [%s] (shown %llu times) %s\n", KindName(kind),
                   static_cast<unsigned long long>(showing), text.c_str());
    }
    std::fflush(out_);
  }
  return core::kAnswerOk;
}

void HeadlessPrompt::Pause(uint32_t ms, const std::atomic<int>* dismiss) {
  const uint32_t start = clock_.NowMs();
  while (clock_.NowMs() - start < ms) {
    if (dismiss && dismiss->load()) return;
    clock_.SleepMs(std::min<uint32_t>(100, ms - (clock_.NowMs() - start)));
  }
}

}  // namespace ui::posix
