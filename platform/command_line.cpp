// The answers of a program without windows to its command line (command_line.h).
#include "platform/command_line.h"

namespace platform {

std::string VersionLine(const std::string& name) { return name + " " + PORTRELAY_VERSION; }

CommandLineAnswer AnswerCommandLine(
    const std::string& name, const std::string& help, const std::vector<std::string>& args,
    std::FILE* out, std::FILE* err,
    const std::function<size_t(const std::vector<std::string>& args, size_t at)>& takes) {
  for (size_t at = 0; at < args.size();) {
    const std::string& arg = args[at];
    if (arg == "--help" || arg == "-h") {
      std::fprintf(out, "usage: %s\n%s", name.c_str(), help.c_str());
      return {true, 0};
    }
    if (arg == "--version") {
      std::fprintf(out, "%s\n", VersionLine(name).c_str());
      return {true, 0};
    }
    const size_t taken = takes ? takes(args, at) : 0;
    if (taken == 0) {
      std::fprintf(err, "%s: unknown argument '%s' (see --help)\n", name.c_str(), arg.c_str());
      return {true, kExitUsage};
    }
    at += taken;
  }
  return {};
}

}  // namespace platform
