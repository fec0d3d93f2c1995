// relaytray on Linux: the launcher that the XDG autostart entry runs at
// log-on. It starts portrelay beside it and ends at once (exit status 0);
// a start that fails is reported on standard output, the status dialog's
// caption and message, and the launcher ends with exit status 1, since
// nobody is there to press "Start service" again.
#include <cstdio>
#include <string>

#include "launcher/launcher_dialog.h"
#include "platform/command_line.h"
#include "platform/platform.h"

namespace {

constexpr const char* kHelp =
    "The launcher: starts portrelay beside it (what the log-on start runs) and ends.\n"
    "  --help     this text\n"
    "  --version  the version\n";

class ConsoleLauncherView : public launcher::LauncherView {
 public:
  explicit ConsoleLauncherView(platform::System& system) : system_(system) {}

  void SetCaption(const std::string&) override {}
  void SetControlText(int, const std::string&) override {}
  void ShowStatus(int kind, const std::string& message) override {
    const std::string caption =
        core::Pick(system_, system_.AnsiCodePage(), launcher::StatusCaption(kind));
    std::printf("%s\n%s\n", caption.c_str(), message.c_str());
    std::fflush(stdout);
  }
  void PostClose() override { closed = true; }

  bool closed = false;

 private:
  platform::System& system_;
};

}  // namespace

int main(int argc, char** argv) {
  const platform::CommandLineAnswer answer =
      platform::AnswerCommandLine("relaytray", kHelp, {argv + 1, argv + argc}, stdout, stderr);
  if (answer.answered) return answer.status;
  platform::Platform& native = platform::Native();
  ConsoleLauncherView view(*native.system);
  launcher::LauncherDialog dialog(native, view);
  dialog.OnInitDialog();
  if (view.closed) return 0;
  // Codes the message table does not know are still worth a number here.
  std::printf("%s: error %d\n", dialog.relayPath().c_str(), dialog.lastResult());
  return 1;
}
