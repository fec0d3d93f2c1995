// The text format of the POSIX registry file (registry.h), regedit's:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\com0com\port\CNCA0\Device Parameters]
//   "PortName"="COM1"
//
// one section per key (paths compare without regard to case, as on
// Windows), one "name"="data" line per string value; inside quotes a
// backslash escapes \\ \" \n \r \t and \xHH. Kept apart from the locked
// store so it can be driven without files (the fuzz target).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform::posix {

// The whole file, parsed: its keys in file order, paths below the hive.
struct RegistryText {
  struct Key {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;
  };
  std::vector<Key> keys;

  Key* Find(const std::string& path);
  // The key at `path`, added at the end when missing.
  Key& Make(const std::string& path);
};

// Unknown or damaged lines are skipped: a hand-edited file never stops the relay.
RegistryText ParseRegistryText(const std::string& text);
std::string SerialiseRegistryText(const RegistryText& store);
// A registry file's text as it reads and is written back: what the reader
// keeps of it, in the file's own form (the fuzz target's entry).
std::string RewriteRegistryText(const std::string& text);

// Names and paths compare as on Windows, without regard to case.
bool SameText(const std::string& a, const std::string& b);
// `path` without backslashes at either end.
std::string TrimSlashes(std::string path);
// True when `path` is `key` itself or lies below it.
bool AtOrBelow(const std::string& path, const std::string& key);

}  // namespace platform::posix
