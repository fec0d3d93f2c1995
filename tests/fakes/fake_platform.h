// Scripted stand-ins for the platform: a clock that moves only when slept on
// or advanced, files that report a chosen program path, and a system that
// records debugger output and message boxes. File operations go to the real
// file system (tests give them a temporary directory).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/platform.h"
#include "tests/fakes/fake_port_enumerator.h"
#include "tests/fakes/fake_processes.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/fake_running_programs.h"

namespace fakes {

class FakeClock : public platform::Clock {
 public:
  uint32_t NowMs() override { return now_.load(); }
  void SleepMs(uint32_t ms) override {
    now_ += ms;
    slept_ += ms;
    if (onSleep) onSleep();
  }
  platform::LocalTime LocalNow() override;

  void Advance(uint32_t ms) { now_ += ms; }
  void SetNow(uint32_t ms) { now_ = ms; }
  // The calendar time that corresponds to NowMs() == 0.
  void SetLocalBase(const platform::LocalTime& t) {
    std::lock_guard<std::mutex> g(lock_);
    base_ = t;
  }
  uint64_t slept() const { return slept_.load(); }
  // Runs after every sleep (set before the code under test runs).
  std::function<void()> onSleep;

 private:
  std::atomic<uint32_t> now_{0};
  std::atomic<uint64_t> slept_{0};
  std::mutex lock_;
  platform::LocalTime base_{2026, 12, 8, 9, 30, 0, 0};
};

class FakeFiles : public platform::Files {
 public:
  explicit FakeFiles(platform::Files& real) : real_(real) {}
  void SetModuleFileName(const std::string& path) { module_ = path; }
  void FailAppends(bool fail) { failAppends_ = fail; }
  bool failRemovals = false;  // files cannot be deleted (read-only)
  // The OS error of the scripted failures above.
  int scriptedError = platform::OsErrorFor(platform::OsCause::kHeld);
  // Files that cannot be deleted until their read-only attribute is cleared,
  // as on Windows.
  std::set<std::string> readOnly;
  std::vector<std::string> appendedPaths();

  std::string ModuleFileName() override { return module_; }
  char PathSeparator() const override { return real_.PathSeparator(); }
  bool FileExists(const std::string& path) override { return real_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return real_.DirectoryExists(path); }
  bool MakeDirectory(const std::string& path) override { return Real(real_.MakeDirectory(path)); }
  bool RemoveFile(const std::string& path) override {
    if (failRemovals || readOnly.count(path)) return Scripted();
    return Real(real_.RemoveFile(path));
  }
  bool ClearReadOnly(const std::string& path) override {
    readOnly.erase(path);
    return Real(real_.ClearReadOnly(path));
  }
  bool AppendText(const std::string& path, const std::string& text) override;
  int LastError() override { return lastError_; }

 private:
  platform::Files& real_;
  std::string module_;
  bool Scripted() {
    lastError_ = scriptedError;
    return false;
  }
  bool Real(bool ok) {
    if (!ok) lastError_ = real_.LastError();
    return ok;
  }

  bool failAppends_ = false;
  std::atomic<int> lastError_{0};
  std::mutex lock_;
  std::vector<std::string> appended_;
};

class FakeSystem : public platform::System {
 public:
  void DebugOutput(const std::string& text) override;
  unsigned AnsiCodePage() override { return codePage; }
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  std::string FromUtf8(const std::string& utf8) override { return utf8; }
  // The fake's texts are UTF-8 throughout (FromUtf8 keeps them).
  std::string ToUtf8(const std::string& bytes, unsigned) override { return bytes; }

  std::vector<std::string> debugLines();
  std::vector<std::string> messageBoxes();

  unsigned codePage = 1252;
  // Runs while a message box is up (set it before the code under test runs).
  std::function<void(const std::string&)> onMessageBox;

 private:
  std::mutex lock_;
  std::vector<std::string> debug_;
  std::vector<std::string> boxes_;
};

// A platform record over the fakes and the real INI implementation.
struct FakePlatform {
  FakePlatform();
  FakeClock clock;
  FakeFiles files;
  FakeSystem system;
  FakeRegistry registry;
  FakeProcesses processes;
  FakePortEnumerator portEnumerator;
  FakeRunningPrograms runningPrograms;
  platform::Platform platform;
};

}  // namespace fakes
