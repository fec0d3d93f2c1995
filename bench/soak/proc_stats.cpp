// /proc/PID/status, /proc/PID/stat and /proc/PID/fd.
#include "bench/soak/proc_stats.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace soak {

std::optional<ProcStats> ReadProcStats(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid);
  ProcStats s;
  std::ifstream status(dir + "/status");
  if (!status) return std::nullopt;
  std::string line;
  while (std::getline(status, line)) {
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "VmRSS:") in >> s.rssKb;
    if (key == "Threads:") in >> s.threads;
  }

  std::ifstream stat(dir + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command name (which may hold spaces) from ')'.
  const size_t close = all.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(all.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // state is field 3; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  s.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));

  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir + "/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++s.fds;
  if (ec) return std::nullopt;
  return s;
}

}  // namespace soak
