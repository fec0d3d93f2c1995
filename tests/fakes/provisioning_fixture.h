// A ServiceDialog over fakes for the provisioning tests: a fake registry with
// com0com's keys set as a test wants, scripted relay ends, a recording view
// and prompt, and a clock that keeps the sleeps of the UI thread apart from
// the worker's (the worker runs for real between a refresh's stop and start).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/service_dialog.h"
#include "tests/fakes/fake_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_relay_port.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace fakes {

// A FakeClock that records the sleeps made on the thread that created it.
class UiClock : public FakeClock {
 public:
  void SleepMs(uint32_t ms) override {
    std::function<void(size_t, uint32_t)> hook;
    size_t index = 0;
    if (std::this_thread::get_id() == owner_) {
      std::lock_guard<std::mutex> g(lock_);
      sleeps_.push_back(ms);
      index = sleeps_.size() - 1;
      hook = onSleep;
    }
    FakeClock::SleepMs(ms);
    if (hook) hook(index, ms);
  }
  // Runs after each sleep of the owner thread (its index among them), for
  // changes that happen "while the program waits".
  std::function<void(size_t, uint32_t)> onSleep;
  std::vector<uint32_t> sleeps() {
    std::lock_guard<std::mutex> g(lock_);
    return sleeps_;
  }
  void ForgetSleeps() {
    std::lock_guard<std::mutex> g(lock_);
    sleeps_.clear();
  }

 private:
  std::thread::id owner_ = std::this_thread::get_id();
  std::mutex lock_;
  std::vector<uint32_t> sleeps_;
};

inline constexpr const char* kAppKey =
    "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCA0\\Device Parameters";
inline constexpr const char* kRelayKey =
    "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCB0\\Device Parameters";
inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class ProvisioningFixture {
 public:
  // `settings` is the [Settings] body; the dialog's settings are loaded.
  explicit ProvisioningFixture(const std::string& settings =
                                   "Port=TCP/IP\nIP=10.0.0.9\n"
                                   "LogFile=YES\n");
  ~ProvisioningFixture();

  // Pair 0 as com0com registers it; an empty name leaves that end out.
  void SetPair(const std::string& app, const std::string& relay);
  // A relay end that opens under "\\.\<name>".
  FakeRelayPort& PreparePort(const std::string& name);
  void WritePortList(const std::string& port1);
  std::string PortList();  // PortLists.ini's text, "" when missing
  bool PortListExists();
  std::string Log();
  std::vector<std::string> List(int control);
  // The texts shown, without the printer-port prefix.
  std::vector<std::string> Shown();

  support::TempDir dir;
  FakePlatform fake;
  UiClock clock;
  FakeSerialPorts serialPorts;
  RecordingView view;
  ScriptedPrompt prompt;
  FakeLink link;
  std::unique_ptr<app::ServiceDialog> dialog;
  // The dialog's run-time service and provisioning state.
  core::RelayService& service() { return dialog->service(); }
  provisioning::ProvisioningState& state() { return dialog->provisioning(); }
};

}  // namespace fakes
