// A scripted running relay for the uninstaller's tests: running or not, one
// that ends when asked, one that ignores the request (it must be ended by
// force), one in which no thread can be started. Every call is recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/running_programs.h"

namespace fakes {

class FakeRunningPrograms : public platform::RunningPrograms {
 public:
  bool running = false;
  bool ignoresExitRequest = false;  // keeps running after RequestExit
  int requestError = 0;             // RequestExit fails with this code
  bool terminateFails = false;
  std::string modulePath = "C:\\KELVO\\portrelay.exe";
  std::vector<std::string> calls;
  std::optional<uint32_t> exitCode;  // how it ended
  std::function<void()> onEnd;       // runs when it ends

  std::unique_ptr<platform::RunningProgram> FindService(const std::string& fileName,
                                                        const std::string& lockName) override {
    calls.push_back("find " + fileName + " " + lockName);
    if (!running) return nullptr;
    return std::make_unique<Program>(*this);
  }

 private:
  class Program : public platform::RunningProgram {
   public:
    explicit Program(FakeRunningPrograms& owner) : owner_(owner) {}
    bool StillActive() override { return owner_.running; }
    int RequestExit(uint32_t code) override {
      owner_.calls.push_back("request exit " + std::to_string(code));
      if (owner_.requestError != 0) return owner_.requestError;
      if (!owner_.ignoresExitRequest) End(code);
      return 0;
    }
    bool WaitForEnd(uint32_t timeoutMs) override {
      owner_.calls.push_back("wait " + std::to_string(timeoutMs));
      return !owner_.running;
    }
    int Terminate(uint32_t code) override {
      owner_.calls.push_back("terminate " + std::to_string(code));
      if (owner_.terminateFails) return 5;
      End(code);
      return 0;
    }
    std::string ModulePath() override { return owner_.modulePath; }

   private:
    void End(uint32_t code) {
      if (!owner_.running) return;
      owner_.running = false;
      owner_.exitCode = code;
      if (owner_.onEnd) owner_.onEnd();
    }
    FakeRunningPrograms& owner_;
  };
};

}  // namespace fakes
