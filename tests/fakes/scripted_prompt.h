// A Prompt that records each pop-up and answers from a script (OK when the
// script runs out). An optional hook runs on every pop-up, for instance to
// change the printer's state while "the user reads the message".
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/prompt.h"

namespace fakes {

struct Shown {
  std::string text;
  int kind;
};

class ScriptedPrompt : public core::Prompt {
 public:
  int Show(const std::string& text, int kind, const std::atomic<int>*) override {
    std::function<void(const Shown&, size_t)> hook;
    size_t index;
    int answer = core::kAnswerOk;
    {
      std::lock_guard<std::mutex> g(lock_);
      shown_.push_back({text, kind});
      index = shown_.size() - 1;
      if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
      }
      hook = onShow;
    }
    if (hook) hook(shown_[index], index);
    return answer;
  }

  void Answer(int answer) {
    std::lock_guard<std::mutex> g(lock_);
    answers_.push_back(answer);
  }
  std::vector<Shown> shown() {
    std::lock_guard<std::mutex> g(lock_);
    return shown_;
  }
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (const auto& s : shown()) out.push_back(s.text);
    return out;
  }

  std::function<void(const Shown&, size_t)> onShow;

 private:
  std::mutex lock_;
  std::deque<int> answers_;
  std::vector<Shown> shown_;
};

}  // namespace fakes
