// Every pop-up that blocks its caller goes through this: the Win32 status
// dialog, the headless policy of the Linux build, or a scripted answerer.
#pragma once

#include <atomic>
#include <string>

namespace core {

enum StatusKind : int { kStatusNormal = 0, kStatusError = 1, kStatusReprint = 2 };
enum PromptAnswer : int { kAnswerOk = 1, kAnswerCancel = 2 };

class Prompt {
 public:
  virtual ~Prompt() = default;
  // Shows the text modally on the calling thread and returns 1 (OK) or
  // 2 (Cancel). When `dismiss` is given and becomes non-zero while the pop-up
  // is up, the pop-up ends with Cancel, so that a stop request is never held
  // up by a pop-up nobody answers.
  virtual int Show(const std::string& text, int kind, const std::atomic<int>* dismiss) = 0;
};

}  // namespace core
