// RelayFixture.
#include "tests/fakes/relay_fixture.h"

namespace fakes {

RelayFixture::RelayFixture(const std::string& settings) {
  fake.files.SetModuleFileName(dir.File("portrelay"));
  fake.platform.serialPorts = &serialPorts;
  serialPorts.clock = &fake.clock;
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\n" + settings);
  service = std::make_unique<core::RelayService>(fake.platform, view, prompt, link);
  service->LoadSettings();
}

FakeRelayPort& RelayFixture::AddPort(const std::string& name) {
  auto port = std::make_shared<FakeRelayPort>(fake.clock);
  core::VirtualPortTable& ports = service->ports();
  ports.handles[static_cast<size_t>(ports.count)] = port;
  ports.SetName(ports.count, name);
  ++ports.count;
  return *port;
}

std::string RelayFixture::Log() {
  std::string text;
  const std::string dirPath = dir.File("MainLog");
  // The fake clock's calendar starts on 2026-12-08.
  text = support::ReadFile(dirPath + fake.files.PathSeparator() + "2026_12_08.log");
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

int RelayFixture::CountLog(const std::string& text) {
  const std::string log = Log();
  int n = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

}  // namespace fakes
