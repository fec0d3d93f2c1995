// Fuzzing the reader of the port map (dosdevices beside the program): a
// folder of entries with any names, each a link to anything (a device path,
// "pty:<partner>", garbage) or a plain file, is listed as the system's ports
// and each name is resolved. The entries are real, in a folder of the
// fuzzer's own.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/port_enumerator.h"
#include "platform/posix/port_enumerator.h"
#include "platform/posix/port_map.h"

namespace {

namespace fs = std::filesystem;

const std::string& Folder() {
  static const std::string folder = [] {
    const fs::path made =
        fs::temp_directory_path() / ("portrelay-fuzz-" + std::to_string(std::random_device{}()));
    std::error_code error;
    if (!fs::create_directories(made, error)) std::abort();
    return (made / "dosdevices").string();
  }();
  return folder;
}

// A name the folder can hold: no slash, no NUL, not "." or "..".
std::string EntryName(std::string name) {
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "com1";
  if (name.size() > 200) name.resize(200);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string dir = Folder();
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  fs::create_directories(dir);

  std::vector<std::string> names;
  const int entries = input.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < entries; ++i) {
    // Mostly the program's own kind of names, some of the input's.
    std::string name = input.ConsumeBool()
                           ? (input.ConsumeBool() ? "com" : "lpt") +
                                 std::to_string(input.ConsumeIntegralInRange<int>(0, 300))
                           : EntryName(input.ConsumeRandomLengthString(24));
    std::string target = input.ConsumeRandomLengthString(64);
    target.erase(std::find(target.begin(), target.end(), '\0'), target.end());
    if (input.ConsumeBool()) target = "pty:" + target;
    const std::string path = dir + "/" + name;
    if (target.empty()) {
      FILE* f = std::fopen(path.c_str(), "w");
      if (f) std::fclose(f);
    } else {
      std::error_code error;  // a target the system refuses is no entry
      fs::create_symlink(target, path, error);
    }
    names.push_back(name);
  }
  names.push_back(input.ConsumeRemainingBytesAsString());

  std::vector<std::string> ports;
  platform::posix::MakePortEnumerator(dir)->ListPorts(ports);
  for (const std::string& port : ports)
    if (port.size() < 5 || port.back() != ':') std::abort();
  for (const std::string& name : names) {
    for (const std::string& asked : {name, "\\\\.\\" + name}) {
      const platform::posix::PortEntry entry = platform::posix::ResolvePort(asked, dir);
      // A missing entry says why; a found one lies in the folder.
      if (entry.kind == platform::posix::PortEntry::kMissing && entry.whyMissing.empty())
        std::abort();
      if (entry.kind != platform::posix::PortEntry::kMissing &&
          entry.path.compare(0, dir.size() + 1, dir + "/") != 0)
        std::abort();
    }
  }
  return 0;
}
