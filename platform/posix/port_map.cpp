// The port map folder (see port_map.h).
#include "platform/posix/port_map.h"

#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include <cctype>

#include "platform/posix/native.h"

namespace platform::posix {

std::string PortMapDirectory() {
  PosixFiles files;
  std::string exe = files.ModuleFileName();
  return exe.substr(0, exe.rfind('/')) + "/dosdevices";
}

std::string PortEntryName(const std::string& devicePathOrName) {
  std::string name = devicePathOrName;
  const std::string prefix = "\\\\.\\";
  if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

PortEntry ResolvePort(const std::string& devicePathOrName, const std::string& mapDirectory) {
  PortEntry entry;
  const std::string name = PortEntryName(devicePathOrName);
  if (name.empty() || name.find('/') != std::string::npos) {
    entry.whyMissing = "\"" + devicePathOrName + "\" is no port name";
    return entry;
  }
  entry.path = mapDirectory + "/" + name;
  char target[PATH_MAX] = {};
  ssize_t n = readlink(entry.path.c_str(), target, sizeof target - 1);
  if (n <= 0) {
    // A plain file or device node in the folder is opened as it is.
    if (access(entry.path.c_str(), F_OK) == 0) {
      entry.kind = PortEntry::kDevice;
      entry.target = entry.path;
    } else if (errno == ENAMETOOLONG) {
      entry.whyMissing = "the port name is too long";
    } else {
      entry.whyMissing = "there is no entry " + name + " in " + mapDirectory;
    }
    return entry;
  }
  std::string text(target, static_cast<size_t>(n));
  entry.link = text;
  if (text.compare(0, 4, "pty:") == 0) {
    entry.kind = PortEntry::kPairRelayEnd;
    entry.target = PortEntryName(text.substr(4));
  } else {
    entry.kind = PortEntry::kDevice;
    entry.target = entry.path;  // follow the link when opening
  }
  return entry;
}

}  // namespace platform::posix
