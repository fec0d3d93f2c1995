// What a program without windows answers on its command line before it
// touches any file: --help and --version (exit status 0), and one line naming
// an argument it does not take (exit status 2). The Windows programs take
// their command lines as they always did and do not use this.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace platform {

inline constexpr int kExitUsage = 2;

struct CommandLineAnswer {
  bool answered = false;  // the program ends with `status` without doing its work
  int status = 0;
};

// `takes` says how many arguments from `args[at]` on the program takes as
// one of its own (0: not one of them); without it the program takes none.
// The help text is printed as given after a "usage: NAME" line.
CommandLineAnswer AnswerCommandLine(
    const std::string& name, const std::string& help, const std::vector<std::string>& args,
    std::FILE* out, std::FILE* err,
    const std::function<size_t(const std::vector<std::string>& args, size_t at)>& takes = {});

// "NAME VERSION", the version of this source tree.
std::string VersionLine(const std::string& name);

}  // namespace platform
