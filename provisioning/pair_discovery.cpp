// com0com pair discovery (see pair_discovery.h).
#include "provisioning/pair_discovery.h"

#include <cstring>
#include <memory>

#include "core/controls.h"
#include "core/format.h"
#include "core/settings.h"

namespace provisioning {
namespace {

constexpr int kPairIndex = 0;

}  // namespace

std::string PairKeyPath(PairEnd end, int index) {
  std::string instance = core::Format(end == kApplicationEnd ? "CNCA%d" : "CNCB%d", index);
  if (instance.size() > kInstanceBufferSize - 1) instance.resize(kInstanceBufferSize - 1);
  std::string path = std::string(kPairKeyPrefix) + instance + kPairKeySuffix;
  if (path.size() > kPairKeyBufferSize - 1) path.resize(kPairKeyBufferSize - 1);
  return path;
}

PairPortName ReadPairPortName(platform::Registry& registry, PairEnd end, int index) {
  PairPortName read;
  std::unique_ptr<platform::RegistryKey> key;
  if (registry.OpenKey(PairKeyPath(end, index), platform::kKeyRead, true, key) != 0 || !key) {
    read.result = PairRead::kNoKey;
    return read;
  }
  uint32_t size = 0;
  if (key->QueryValueSize(kPortNameValue, size) != 0) {
    read.result = PairRead::kNoSize;
    return read;
  }
  std::string data;
  if (size >= kLargestPortNameValue || key->QueryValue(kPortNameValue, size + 1, data) != 0) {
    read.result = PairRead::kNoData;
    return read;
  }
  // The text ends at the returned size or at its own terminator.
  read.result = PairRead::kName;
  read.name = std::string(data.c_str());
  return read;
}

bool ContainsCom(const std::string& name) { return name.find("COM") != std::string::npos; }

void ExcludePairPorts(platform::Registry& registry, SystemPortTable& table) {
  for (PairEnd end : {kApplicationEnd, kRelayEnd}) {
    const PairPortName read = ReadPairPortName(registry, end, kPairIndex);
    if (read.result == PairRead::kNoSize) return;
    if (read.result != PairRead::kName) continue;
    for (int i = 0; i < table.count && i < SystemPortTable::kEntries; ++i) {
      auto& entry = table.names[static_cast<size_t>(i)];
      if (read.name == entry.data()) std::memset(entry.data(), 0, 4);
    }
  }
}

void ListPairPorts(core::RelayService& service) {
  platform::Registry& registry = *service.platform().registry;
  const PairPortName app = ReadPairPortName(registry, kApplicationEnd, kPairIndex);
  if (app.result == PairRead::kNoSize) return;
  if (app.result == PairRead::kName && ContainsCom(app.name))
    service.view().AddListEntry(core::controls::kAppPortList, app.name);
  const PairPortName relay = ReadPairPortName(registry, kRelayEnd, kPairIndex);
  if (relay.result == PairRead::kName)
    service.view().AddListEntry(core::controls::kAllVirtualList, relay.name);
}

int ScanApplicationPorts(core::RelayService& service) {
  const PairPortName app =
      ReadPairPortName(*service.platform().registry, kApplicationEnd, kPairIndex);
  if (app.result != PairRead::kName) return 0;
  const bool counted = ContainsCom(app.name);
  if (counted) service.view().AddListEntry(core::controls::kAppPortList, app.name);
  service.view().AddListEntry(core::controls::kAllVirtualList, app.name);
  return counted ? 1 : 0;
}

int WriteRelayPortList(core::RelayService& service) {
  const PairPortName relay = ReadPairPortName(*service.platform().registry, kRelayEnd, kPairIndex);
  const std::string key = core::Format("Port%d", kPairIndex + 1);
  const std::string& file = service.settings().portListsPath;
  switch (relay.result) {
    case PairRead::kName:
      core::WriteSetting(*service.platform().profile, core::kPortsSection, key, relay.name, file);
      return 1;
    case PairRead::kNoKey:
    case PairRead::kNoSize:
      core::WriteSetting(*service.platform().profile, core::kPortsSection, key, "", file);
      break;
    case PairRead::kNoData:
      break;
  }
  return 0;
}

}  // namespace provisioning
