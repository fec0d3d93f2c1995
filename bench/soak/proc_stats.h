// What /proc tells about a running process: resident memory, open files,
// threads and processor time.
#pragma once

#include <sys/types.h>

#include <optional>

namespace soak {

struct ProcStats {
  long rssKb = 0;
  int fds = 0;
  int threads = 0;
  double cpuSeconds = 0;  // user + system
};

// Nothing when the process is gone.
std::optional<ProcStats> ReadProcStats(pid_t pid);

}  // namespace soak
