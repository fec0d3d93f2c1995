// The Linux programs' answers to their command lines, run as a user would:
// --help and --version end at once with status 0, and an argument a program
// does not take is named in one line, status 2, before the program touches
// any file of its installation (nothing is written beside it).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::vector<std::string> lines;
  std::vector<std::string> filesAfter;  // what the installation holds afterwards
};

// The program alone in a folder of its own, run there with `args`.
// `expected` is a line it prints, waited for after the exit.
Outcome RunAlone(const std::string& program, const std::vector<std::string>& args,
                 const std::string& expected) {
  support::TempDir dir;
  fs::copy_file(support::ExecutableDirectory() + "/" + program, dir.File(program));
  std::vector<std::string> argv{dir.File(program)};
  argv.insert(argv.end(), args.begin(), args.end());
  support::ChildProcess child;
  support::ChildProcess::Options options;
  options.workingDirectory = dir.path();
  options.environment = {{"XDG_CONFIG_HOME", dir.File("config")}};
  Outcome run;
  if (!child.Start(argv, options)) return run;
  run.status = child.WaitExit(20000).value_or(-1);
  child.WaitForOutput(expected, 2000);
  run.lines = child.Lines();
  for (const auto& entry : fs::directory_iterator(dir.path()))
    run.filesAfter.push_back(entry.path().filename().string());
  return run;
}

struct Case {
  const char* program;
  std::vector<std::string> args;
  int status;
  const char* firstLine;  // the start of the first line printed
};

TEST(CommandLine, AnswersHelpVersionAndUnknownArgumentsBeforeTouchingFiles) {
  const std::vector<Case> cases = {
      {"portrelay", {"--help"}, 0, "usage: portrelay"},
      {"portrelay", {"--version"}, 0, "portrelay 2."},
      {"portrelay", {"--bogus"}, 2, "portrelay: unknown argument '--bogus'"},
      {"portrelay", {"--reprint", "7x"}, 2, "portrelay: --reprint takes a receipt id"},
      {"portrelay", {"--recent", "--reprint", "7"}, 2, "portrelay: one command at a time"},
      // No relay runs from that folder: the command says so and starts none.
      {"portrelay", {"--recent"}, 3, "portrelay: no relay runs in "},
      {"relaytray", {"--help"}, 0, "usage: relaytray"},
      {"relaytray", {"--version"}, 0, "relaytray 2."},
      {"relaytray", {"start"}, 2, "relaytray: unknown argument 'start'"},
      {"relayremove", {"-h"}, 0, "usage: relayremove"},
      {"relayremove", {"--version"}, 0, "relayremove 2."},
      {"relayremove", {"--all"}, 2, "relayremove: unknown argument '--all'"},
      {"pairsetup", {"--help"}, 0, "usage: pairsetup"},
      {"pairsetup", {"--version"}, 0, "pairsetup 2."},
      // The report file it would write is not written either.
      {"pairsetup",
       {"--output", "report.tmp", "remove"},
       2,
       "pairsetup: unknown argument 'remove'"},
      {"pairsetup",
       {"install", "PortName=COM#", "Baud=9600"},
       2,
       "pairsetup: unknown argument 'Baud=9600'"},
  };
  for (const Case& c : cases) {
    const Outcome run = RunAlone(c.program, c.args, c.firstLine);
    SCOPED_TRACE(std::string(c.program) + " " + c.args.front());
    EXPECT_EQ(run.status, c.status);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front().rfind(c.firstLine, 0), 0u) << run.lines.front();
    if (c.status != 0) {
      EXPECT_EQ(run.lines.size(), 1u);
    }
    EXPECT_EQ(run.filesAfter, std::vector<std::string>{c.program});
  }
}

// The relay's own calls still reach the installer.
TEST(CommandLine, PairsetupStillTakesTheRelaysCommands) {
  const Outcome run = RunAlone("pairsetup", {"--output", "report.tmp", "preinstall"}, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(std::find(run.filesAfter.begin(), run.filesAfter.end(), "report.tmp"),
            run.filesAfter.end());
}

}  // namespace
