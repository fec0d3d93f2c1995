// The uninstall-entry searches (see uninstall_search.h).
#include "uninstaller/uninstall_search.h"

#include <memory>
#include <vector>

#include "platform/processes.h"
#include "platform/registry.h"

namespace uninstaller {
namespace {

constexpr bool kView64 = true;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int Open(platform::Registry& registry, RegistryRoot root, const std::string& path,
         std::unique_ptr<platform::RegistryKey>& key) {
  return root == RegistryRoot::kMachine
             ? registry.OpenKey(path, platform::kKeyRead, kView64, key)
             : registry.OpenUserKey(path, platform::kKeyRead, kView64, key);
}

// A string value read into 1,024 bytes, up to its terminator; false when it
// is missing or longer.
bool ReadText(platform::RegistryKey& key, const char* name, std::string& text) {
  std::string data;
  if (key.QueryValue(name, kEntryValueBytes, data) != platform::kRegOk) return false;
  text = data.c_str();
  return true;
}

}  // namespace

bool MatchesPrefix(const std::string& displayName, const std::string& prefix) {
  if (displayName.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(displayName[i]) != Lower(prefix[i])) return false;
  return true;
}

int SearchUninstallEntry(platform::Platform& platform, RegistryRoot root, const std::string& key,
                         const std::string& prefix) {
  std::unique_ptr<platform::RegistryKey> entries;
  if (Open(*platform.registry, root, key, entries) != platform::kRegOk || !entries)
    return kSearchFailed;
  std::vector<std::string> names;
  if (entries->SubkeyNames(names) != platform::kRegOk) return kSearchFailed;
  for (const std::string& name : names) {
    if (name.size() > kLongestSubkeyName) continue;
    std::unique_ptr<platform::RegistryKey> entry;
    if (Open(*platform.registry, root, key + "\\" + name, entry) != platform::kRegOk || !entry)
      continue;
    std::string displayName, command;
    if (!ReadText(*entry, kDisplayNameValue, displayName) || !MatchesPrefix(displayName, prefix))
      continue;
    if (!ReadText(*entry, kUninstallStringValue, command)) continue;
    platform.system->DebugOutput("UninstallString=" + command);
    if (platform.processes->RunCommand(command) != -1) return kSearchSucceeded;
  }
  return kSearchSucceeded;
}

int SearchMachineThenUser(platform::Platform& platform, const std::string& key,
                          const std::string& prefix) {
  if (SearchUninstallEntry(platform, RegistryRoot::kMachine, key, prefix) == kSearchSucceeded)
    return kSearchSucceeded;
  return SearchUninstallEntry(platform, RegistryRoot::kCurrentUser, key, prefix);
}

int ArchitectureOf(int processorArchitecture, int previous) {
  switch (processorArchitecture) {
    case platform::kProcessorIntel:
      return kArchitectureX86;
    case platform::kProcessorAmd64:
      return kArchitectureX64;
    case platform::kProcessorIa64:
      return kArchitectureIa64;
    default:
      return previous;
  }
}

// Itanium Windows, too, runs 32-bit installers under WOW64, whose entries
// live below WOW6432Node.
const char* DriverUninstallKey(int architecture) {
  return architecture == kArchitectureX86 ? kUninstallKey : kUninstallKeyWow64;
}

}  // namespace uninstaller
