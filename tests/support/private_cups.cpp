// PrivateCups.
#include "tests/support/private_cups.h"

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace support {

using std::chrono::milliseconds;

PrivateCups::~PrivateCups() {
  unsetenv("CUPS_SERVER");
  if (cupsd_.Running()) {
    cupsd_.Signal(SIGTERM);
    cupsd_.WaitExit(5000);
  }
}

std::string PrivateCups::Start(const std::string& queue, const std::string& deviceUri) {
  if (!std::filesystem::exists("/usr/sbin/cupsd") || !std::filesystem::exists("/usr/sbin/lpadmin"))
    return "cupsd or lpadmin is not installed";
  const std::string d = dir_.path();
  for (const char* sub : {"spool", "cache", "state", "tmp", "log"}) {
    std::filesystem::create_directories(d + "/" + sub);
  }
  std::filesystem::permissions(d + "/tmp",
                               std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
  support::WriteFile(d + "/cups-files.conf",
                     "ServerRoot " + d + "\nRequestRoot " + d + "/spool\nCacheDir " + d +
                         "/cache\nStateDir " + d + "/state\nTempDir " + d + "/tmp\nErrorLog " + d +
                         "/log/error_log\nAccessLog " + d + "/log/access_log\nPageLog " + d +
                         "/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                         "FileDevice No\nSandboxing relaxed\n");
  support::WriteFile(d + "/cupsd.conf",
                     "Listen " + socket() +
                         "\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                         "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                         "</Location>\n<Policy default>\n  <Limit All>\n    Order allow,deny\n"
                         "    Allow all\n  </Limit>\n</Policy>\n");
  if (!cupsd_.Start(
          {"/usr/sbin/cupsd", "-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"}))
    return "cupsd did not start";
  // The scheduler takes a moment to listen; lpadmin fails until it does.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string output;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!cupsd_.Running()) return "cupsd ended: " + cupsd_.Output();
    support::ChildProcess lpadmin;
    support::ChildProcess::Options options;
    options.environment = {{"CUPS_SERVER", socket()}};
    lpadmin.Start({"/usr/sbin/lpadmin", "-p", queue, "-v", deviceUri, "-E"}, options);
    const auto status = lpadmin.WaitExit(5000);
    if (status && *status == 0) {
      setenv("CUPS_SERVER", socket().c_str(), 1);
      return {};
    }
    output = lpadmin.Output();
    std::this_thread::sleep_for(milliseconds(200));
  }
  return "no queue could be added: " + output;
}

}  // namespace support
