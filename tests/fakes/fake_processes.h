// Scripted programs and machine facts for the pair installation: each known
// command line runs a test's action when the program "ends" (for example
// creating the registry keys an installer would); unknown programs cannot be
// started. Elevated runs, shell launches and interpreter commands are
// recorded and answered from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/processes.h"

namespace fakes {

class FakeProcesses : public platform::Processes {
 public:
  struct Program {
    std::function<void()> onEnd;  // runs while the caller waits for the program
    uint32_t exitCode = 0;
  };

  int Start(const std::string& commandLine, std::unique_ptr<platform::Process>& process) override {
    started.push_back(commandLine);
    auto it = programs.find(commandLine);
    if (it == programs.end()) return Failed(startError);
    process = std::make_unique<Running>(*this, it->second);
    return 0;
  }

  int RunElevatedHidden(const std::string& file, const std::string& parameters) override {
    elevated.push_back(file + " " + parameters);
    if (elevatedResults.empty()) return 0;
    int result = elevatedResults.front();
    elevatedResults.pop_front();
    return Failed(result);
  }

  int Launch(const std::string& verb, const std::string& file) override {
    launches.push_back(verb + " " + file);
    if (onLaunch) onLaunch();
    if (launchResults.empty()) return 0;
    int result = launchResults.front();
    launchResults.pop_front();
    return Failed(result);
  }

  int RunCommand(const std::string& command) override {
    commands.push_back(command);
    const int result = onCommand ? onCommand(command) : commandResult;
    if (result == -1) lastError = platform::OsErrorFor(platform::OsCause::kNotFound);
    return result;
  }

  bool UserIsAdmin() override { return admin; }

  bool QueryOsVersion(platform::OsVersion& v) override {
    if (!versionKnown) return false;
    v = version;
    return true;
  }
  int ProcessorArchitecture() override { return processor; }
  bool ProductType(uint32_t major, uint32_t minor, uint32_t, uint32_t, uint32_t& type) override {
    productQueries.push_back(std::to_string(major) + "." + std::to_string(minor));
    if (!hasProductInfo) return false;
    type = productType;
    return true;
  }
  std::string ProgramFileName(const std::string& program) const override {
    return program + suffix;
  }
  // The OS error of the last scripted failure: the code itself, as the
  // Windows calls give it.
  int LastError() override { return lastError; }

  std::map<std::string, Program> programs;
  int startError = platform::kErrorFileNotFound;
  std::vector<std::string> started;
  std::vector<std::string> ended;
  std::vector<std::string> elevated;
  std::deque<int> elevatedResults;
  std::vector<std::string> launches;  // "verb file"
  std::deque<int> launchResults;      // 0 (started) when empty
  std::function<void()> onLaunch;     // runs while the launch is in flight
  std::vector<std::string> commands;
  std::function<int(const std::string&)> onCommand;  // the command's result
  int commandResult = 0;
  bool admin = true;
  bool versionKnown = true;
  platform::OsVersion version{platform::kPlatformNt, 10, 0};
  int processor = platform::kProcessorAmd64;
  bool hasProductInfo = true;
  uint32_t productType = 0;
  std::vector<std::string> productQueries;
  std::string suffix = ".exe";
  int lastError = 0;

 private:
  int Failed(int result) {
    if (result != 0) lastError = result;
    return result;
  }

  class Running : public platform::Process {
   public:
    Running(FakeProcesses& owner, Program program) : owner_(owner), program_(std::move(program)) {}
    uint32_t WaitForEnd() override {
      if (program_.onEnd) program_.onEnd();
      owner_.ended.push_back("ended");
      return program_.exitCode;
    }

   private:
    FakeProcesses& owner_;
    Program program_;
  };
};

}  // namespace fakes
