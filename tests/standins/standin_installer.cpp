// A stand-in for com0com's installer in the Wine tests (tests only): copied
// beside portrelay.exe under the installer's file name, it does what a
// finished, cancelled or failed set-up leaves behind. The behaviour comes from
// the environment the relay passes on to it:
//   PORTRELAY_STANDIN_INSTALLER  pair (default) | cancel | crash | relay-only
//   PORTRELAY_STANDIN_PAIR       the two port names, default "COM5 COM6"
// "pair" registers pair 0 under com0com's keys as the real installer does;
// "relay-only" registers the relay end alone (an inconsistent pair).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kPortKey = "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\";

bool RegisterEnd(const std::string& instance, const std::string& name) {
  const std::string path = std::string(kPortKey) + instance + "\\Device Parameters";
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  // com0com stores the name with its terminating zero.
  LONG r = RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                          static_cast<DWORD>(name.size() + 1));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

std::string Environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

}  // namespace

int main() {
  const std::string mode = Environment("PORTRELAY_STANDIN_INSTALLER", "pair");
  const std::string names = Environment("PORTRELAY_STANDIN_PAIR", "COM5 COM6");
  const size_t blank = names.find(' ');
  const std::string app = names.substr(0, blank);
  const std::string relay = blank == std::string::npos ? "COM6" : names.substr(blank + 1);
  std::printf("standin installer: %s %s %s\n", mode.c_str(), app.c_str(), relay.c_str());
  std::fflush(stdout);

  if (mode == "cancel") return 1;
  if (mode == "crash") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 3;
  }
  if (mode == "relay-only") return RegisterEnd("CNCB0", relay) ? 0 : 2;
  return RegisterEnd("CNCA0", app) && RegisterEnd("CNCB0", relay) ? 0 : 2;
}
