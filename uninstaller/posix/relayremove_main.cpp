// relayremove on Linux: the uninstaller without a window, as if its Delete
// button were pressed with both removals selected (the dialog's start-up
// state). It stops this installation's running portrelay, runs the
// registered uninstall entries, deletes the Run value (and with it the XDG
// autostart entry) and the two settings files beside it. Set PORTRELAY_DEBUG
// to see its traces on standard error. Exit status 0.
#include <cstdio>
#include <set>
#include <string>

#include "platform/command_line.h"
#include "platform/platform.h"
#include "uninstaller/uninstaller_dialog.h"

namespace {

constexpr const char* kHelp =
    "The uninstaller: stops this installation's portrelay, runs the registered\n"
    "uninstall entries and removes the log-on start and the settings files.\n"
    "  --help     this text\n"
    "  --version  the version\n";

class NoWindow : public uninstaller::UninstallerView {
 public:
  void SetCaption(const std::string&) override {}
  void SetControlText(int, const std::string&) override {}
  bool IsChecked(int control) override { return checked_.count(control) > 0; }
  void SetChecked(int control, bool checked) override {
    if (checked)
      checked_.insert(control);
    else
      checked_.erase(control);
  }
  void EnableControl(int, bool) override {}
  void PostClose() override {}

 private:
  std::set<int> checked_;
};

}  // namespace

int main(int argc, char** argv) {
  const platform::CommandLineAnswer answer =
      platform::AnswerCommandLine("relayremove", kHelp, {argv + 1, argv + argc}, stdout, stderr);
  if (answer.answered) return answer.status;
  NoWindow view;
  uninstaller::UninstallerDialog dialog(platform::Native(), view);
  dialog.OnInitDialog();
  dialog.OnDeleteClicked();
  return 0;
}
