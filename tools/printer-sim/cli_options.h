// Command line of the printer-sim program and its --help text.
#pragma once

#include <string>

#include "tools/printer-sim/sim_server.h"

namespace printersim {

struct CliOptions {
  SimConfig config;
  bool help = false;
};

// 0 on success, else -1 with *error (a usage problem).
int ParseCli(int argc, const char* const* argv, CliOptions* options, std::string* error);

std::string HelpText();

}  // namespace printersim
