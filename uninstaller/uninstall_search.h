// The uninstall entries relayremove runs: the relay's own ("KELVO DOVI
// Service", registered by its installer) and com0com's ("Null-modem
// emulator"). An entry is found by the first characters of its display name,
// without regard to case, and its UninstallString is run through the command
// interpreter; the first entry whose command could be started ends the search.
//
// Both searches look machine-wide first and in the current user's keys when
// the machine-wide search fails (a key that cannot be opened or listed). The
// keys are read in the registry's 64-bit view: there the relay's 32-bit
// installer registers its entry, and com0com's 32-bit installers land below
// WOW6432Node, whatever view the calling program has by itself.
#pragma once

#include <string>

#include "platform/platform.h"

namespace uninstaller {

inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kUninstallKeyWow64 =
    "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kServiceEntryPrefix = "KELVO DOVI Service";
inline constexpr const char* kDriverEntryPrefix = "Null-modem emulator";
inline constexpr const char* kDisplayNameValue = "DisplayName";
inline constexpr const char* kUninstallStringValue = "UninstallString";
inline constexpr uint32_t kEntryValueBytes = 1024;
inline constexpr std::size_t kLongestSubkeyName = 512;

enum class RegistryRoot { kMachine, kCurrentUser };
enum SearchResult : int { kSearchSucceeded = 0, kSearchFailed = 1 };

// OS architectures as the uninstaller counts them.
enum Architecture : int { kArchitectureX86 = 0, kArchitectureX64 = 1, kArchitectureIa64 = 2 };

// The display name starts with the prefix, letters compared without regard to case.
bool MatchesPrefix(const std::string& displayName, const std::string& prefix);

// Runs the command of the first entry below root\key whose display name
// starts with the prefix. Fails only when the key cannot be opened or listed.
int SearchUninstallEntry(platform::Platform& platform, RegistryRoot root, const std::string& key,
                         const std::string& prefix);
// Machine-wide, then (when that failed) the current user's.
int SearchMachineThenUser(platform::Platform& platform, const std::string& key,
                          const std::string& prefix);

// The architecture from the processor of the native system information;
// other processors keep `previous`.
int ArchitectureOf(int processorArchitecture, int previous);
// Where com0com's entry is registered on that architecture.
const char* DriverUninstallKey(int architecture);

}  // namespace uninstaller
