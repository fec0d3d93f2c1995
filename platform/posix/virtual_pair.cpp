// Virtual pair installation on POSIX (see virtual_pair.h).
#include "platform/posix/virtual_pair.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix/port_map.h"

namespace platform::posix {
namespace {

constexpr const char* kPortKey = "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port";

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (Upper(n) == Upper(name)) return true;
  return false;
}

std::string PortNameOf(Registry& registry, const std::string& instance) {
  std::unique_ptr<RegistryKey> key;
  const std::string path = std::string(kPortKey) + "\\" + instance + "\\Device Parameters";
  if (registry.OpenKey(path, kKeyRead, true, key) != 0) return {};
  uint32_t size = 0;
  std::string data;
  if (key->QueryValueSize("PortName", size) != 0 || key->QueryValue("PortName", size, data) != 0)
    return {};
  return std::string(data.c_str());
}

std::vector<std::string> Instances(Registry& registry) {
  std::vector<std::string> names;
  std::unique_ptr<RegistryKey> key;
  if (registry.OpenKey(kPortKey, kKeyRead, true, key) == 0) key->SubkeyNames(names);
  return names;
}

int SetPortName(Registry& registry, const std::string& instance, const std::string& name) {
  std::unique_ptr<RegistryKey> key;
  const std::string path = std::string(kPortKey) + "\\" + instance + "\\Device Parameters";
  int result = registry.CreateKey(path, true, key);
  if (result != 0) return result;
  return key->SetString("PortName", name);
}

std::string NextFreeCom(const std::vector<std::string>& used) {
  for (int n = 1;; ++n) {
    const std::string name = "COM" + std::to_string(n);
    if (!Contains(used, name)) return name;
  }
}

}  // namespace

std::vector<std::string> UsedComNames(Registry& registry, const std::string& mapDirectory) {
  std::vector<std::string> used;
  if (DIR* d = opendir(mapDirectory.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string entry = e->d_name;
      if (entry.compare(0, 3, "com") != 0 || entry.find('.') != std::string::npos) continue;
      used.push_back(Upper(entry));
      PortEntry resolved = ResolvePort(entry, mapDirectory);
      if (resolved.kind == PortEntry::kPairRelayEnd) used.push_back(Upper(resolved.target));
    }
    closedir(d);
  }
  for (const std::string& instance : Instances(registry)) {
    const std::string name = PortNameOf(registry, instance);
    if (!name.empty()) used.push_back(Upper(name));
  }
  return used;
}

int InstallVirtualPair(Registry& registry, const std::string& mapDirectory,
                       const std::string& applicationName, const std::string& relayName,
                       InstalledPair& pair) {
  const std::vector<std::string> instances = Instances(registry);
  int index = 0;
  while (Contains(instances, "CNCA" + std::to_string(index)) ||
         Contains(instances, "CNCB" + std::to_string(index)))
    ++index;

  std::vector<std::string> used = UsedComNames(registry, mapDirectory);
  auto pick = [&](const std::string& wanted) {
    std::string name = wanted.empty() || wanted == "COM#" ? NextFreeCom(used) : Upper(wanted);
    used.push_back(name);
    return name;
  };
  pair.index = index;
  pair.applicationEnd = pick(applicationName);
  pair.relayEnd = pick(relayName);

  if (mkdir(mapDirectory.c_str(), 0755) != 0 && errno != EEXIST) {
    pair.failure = mapDirectory + ": " + std::strerror(errno);
    return -1;
  }
  const std::string entry = mapDirectory + "/" + PortEntryName(pair.relayEnd);
  const std::string target = "pty:" + PortEntryName(pair.applicationEnd);
  const std::string temp = entry + ".new" + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), entry.c_str()) != 0) {
    pair.failure = entry + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return -1;
  }

  int result = SetPortName(registry, "CNCA" + std::to_string(index), pair.applicationEnd);
  if (result == 0) result = SetPortName(registry, "CNCB" + std::to_string(index), pair.relayEnd);
  if (result != 0)
    pair.failure = "the registry file cannot be written (error " + std::to_string(result) + ")";
  return result;
}

}  // namespace platform::posix
