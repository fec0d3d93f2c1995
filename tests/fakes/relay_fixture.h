// The relay's run-time service over fakes with one or more scripted relay ends, for tests
// of the relay worker and the status check without threads or real time.
#pragma once

#include <memory>
#include <string>

#include "core/relay_service.h"
#include "tests/fakes/fake_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_relay_port.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace fakes {

class RelayFixture {
 public:
  // `settings` is the [Settings] body written to Settings.ini before loading.
  explicit RelayFixture(const std::string& settings);

  // Adds a relay end named `name` to the port table and returns its script.
  FakeRelayPort& AddPort(const std::string& name);
  std::string Log();
  int CountLog(const std::string& text);

  support::TempDir dir;
  FakePlatform fake;
  FakeSerialPorts serialPorts;
  RecordingView view;
  ScriptedPrompt prompt;
  FakeLink link;
  std::unique_ptr<core::RelayService> service;
};

}  // namespace fakes
