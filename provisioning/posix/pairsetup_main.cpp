// pairsetup: the Linux build's stand-in for com0com's installer and its
// setupc tool (posix/processes.h maps both to it). It installs a virtual
// port pair in the installation it lies in: the pseudo-terminal pair's entry
// in the port map and com0com's registry keys with the pair's two names.
//
//   pairsetup                      install the next pair with the next free
//                                  COM names (what the installer does)
//   pairsetup [--output FILE] preinstall | update | infclean
//                                  nothing to do here; reported as done
//   pairsetup [--output FILE] install PortName=COM# PortName=COM#
//                                  install the next pair; COM# takes the next
//                                  free name, COMn that name
//
// The report goes to FILE when given, else to standard output. Exit status 0
// on success, 1 on a failure, 2 on an argument it does not know (named on
// standard error, before any file is touched).
#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/posix/native.h"
#include "platform/posix/registry.h"
#include "platform/posix/virtual_pair.h"

namespace {

constexpr const char* kHelp =
    "The virtual port pair installer of this installation (com0com's installer and\n"
    "setupc on Windows).\n"
    "  pairsetup                        install the next pair\n"
    "  pairsetup [--output FILE] preinstall | update | infclean\n"
    "  pairsetup [--output FILE] install PortName=COM# PortName=COM#\n"
    "  --help     this text\n"
    "  --version  the version\n";

bool IsPortNameArgument(const std::string& arg) { return arg.rfind("PortName=", 0) == 0; }

// How many arguments from args[at] on form one part of the command line above.
size_t Takes(const std::vector<std::string>& args, size_t at) {
  size_t command = 0;
  if (args.size() >= 2 && args[0] == "--output") {
    if (at == 0) return 2;
    command = 2;
  }
  if (at != command) return 0;
  const std::string& word = args[at];
  if (word == "preinstall" || word == "update" || word == "infclean") return 1;
  if (word != "install") return 0;
  size_t n = 1;
  while (n < 3 && at + n < args.size() && IsPortNameArgument(args[at + n])) ++n;
  return n;
}

std::string Directory() {
  platform::posix::PosixFiles files;
  const std::string exe = files.ModuleFileName();
  return exe.substr(0, exe.rfind('/'));
}

std::string PortNameArgument(const std::string& arg) {
  const std::string key = "PortName=";
  return arg.compare(0, key.size(), key) == 0 ? arg.substr(key.size()) : std::string();
}

int Install(const std::string& appName, const std::string& relayName, std::string& report) {
  const std::string dir = Directory();
  std::unique_ptr<platform::Registry> registry =
      platform::posix::MakeRegistry(dir + "/" + platform::posix::kRegistryFileName, "");
  platform::posix::InstalledPair pair;
  const int result =
      platform::posix::InstallVirtualPair(*registry, dir + "/dosdevices", appName, relayName, pair);
  if (result != 0) {
    report = "pairsetup: the pair could not be installed: " + pair.failure + " (" +
             std::to_string(result) + ")\n";
    return 1;
  }
  report = "pairsetup: CNCA" + std::to_string(pair.index) + " PortName=" + pair.applicationEnd +
           ", CNCB" + std::to_string(pair.index) + " PortName=" + pair.relayEnd + "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const platform::CommandLineAnswer answer =
      platform::AnswerCommandLine("pairsetup", kHelp, args, stdout, stderr, Takes);
  if (answer.answered) return answer.status;
  std::string output;
  if (args.size() >= 2 && args[0] == "--output") {
    output = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }

  int status = 0;
  std::string report;
  if (args.empty() || args[0] == "install") {
    const std::string app = args.size() > 1 ? PortNameArgument(args[1]) : "";
    const std::string relay = args.size() > 2 ? PortNameArgument(args[2]) : "";
    status = Install(app, relay, report);
  } else {
    report = "pairsetup: " + args[0] + ": nothing to do\n";
  }

  std::FILE* out = output.empty() ? stdout : std::fopen(output.c_str(), "w");
  if (out) {
    std::fputs(report.c_str(), out);
    if (out != stdout) std::fclose(out);
  }
  return status;
}
