// ProvisioningFixture.
#include "tests/fakes/provisioning_fixture.h"

#include <filesystem>

namespace fakes {

ProvisioningFixture::ProvisioningFixture(const std::string& settings) {
  fake.platform.clock = &clock;
  fake.platform.serialPorts = &serialPorts;
  serialPorts.clock = &clock;
  fake.files.SetModuleFileName(dir.File("portrelay.exe"));
  fake.registry.MakeKey(kRunKey);
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\n" + settings);
  dialog = std::make_unique<app::ServiceDialog>(fake.platform, view, prompt, link);
  service().LoadSettings();
}

ProvisioningFixture::~ProvisioningFixture() { dialog->Shutdown(); }

void ProvisioningFixture::SetPair(const std::string& app, const std::string& relay) {
  if (!app.empty()) fake.registry.Set(kAppKey, "PortName", app);
  if (!relay.empty()) fake.registry.Set(kRelayKey, "PortName", relay);
}

FakeRelayPort& ProvisioningFixture::PreparePort(const std::string& name) {
  auto port = std::make_unique<FakeRelayPort>(clock);
  FakeRelayPort* raw = port.get();
  serialPorts.prepared["\\\\.\\" + name] = std::move(port);
  return *raw;
}

void ProvisioningFixture::WritePortList(const std::string& port1) {
  support::WriteFile(dir.File("PortLists.ini"), "[Ports]\nPort1=" + port1 + "\n");
}

bool ProvisioningFixture::PortListExists() {
  return std::filesystem::exists(dir.File("PortLists.ini"));
}

std::string ProvisioningFixture::PortList() {
  if (!PortListExists()) return "";
  std::string out;
  for (char c : support::ReadFile(dir.File("PortLists.ini")))
    if (c != '\r') out += c;
  return out;
}

std::string ProvisioningFixture::Log() {
  const std::string path = dir.File("MainLog") + fake.files.PathSeparator() + "2026_12_08.log";
  if (!std::filesystem::exists(path)) return "";
  std::string out;
  for (char c : support::ReadFile(path))
    if (c != '\r') out += c;
  return out;
}

std::vector<std::string> ProvisioningFixture::List(int control) { return view.lists[control]; }

std::vector<std::string> ProvisioningFixture::Shown() {
  std::vector<std::string> texts;
  const std::string prefix = "TCP/IP(10.0.0.9) port : ";
  for (const std::string& text : prompt.texts())
    texts.push_back(text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size())
                                                                : text);
  return texts;
}

}  // namespace fakes
