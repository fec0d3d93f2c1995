// portrelay on Linux: the relay service without windows. It runs the same
// start-up as the Windows program, then relays until SIGINT or SIGTERM (exit
// status 0) or until the service closes itself after a fatal condition, such
// as a printer that cannot be reached at start-up (exit status 1). A second
// instance in the same installation ends at once (exit status 0).
// SIGUSR1 runs the application port check and SIGUSR2 the banner print, as
// the main window's buttons would; their outcome is printed like every
// pop-up.
#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>

#include "app/service_dialog.h"
#include "links/link_front.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/termination.h"
#include "ui/posix/headless_prompt.h"
#include "ui/posix/headless_view.h"

namespace {

constexpr const char* kHelp =
    "The print relay without windows: relays the application's virtual port to the\n"
    "printer that Settings.ini beside the program names, until SIGINT or SIGTERM.\n"
    "SIGUSR1 runs the application port check, SIGUSR2 the banner print.\n"
    "  --help     this text\n"
    "  --version  the version\n";

// What the signal thread touches lives as long as the process: a signal may
// still arrive while main returns and destroys its objects.
struct EndOfRun {
  // Wakes the main thread: a termination signal, the service's close, or a
  // queued command.
  core::ManualResetEvent requested;
  std::atomic<bool> terminated{false};
  std::mutex lock;  // guards `dialog` and `commands`
  app::ServiceDialog* dialog = nullptr;
  std::deque<platform::WindowCommand> commands;
};

EndOfRun& End() {
  static EndOfRun* end = new EndOfRun;
  return *end;
}

void OnTerminationSignal(int) {
  EndOfRun& end = End();
  end.terminated = true;
  end.requested.Set();
  std::lock_guard<std::mutex> g(end.lock);
  if (end.dialog) end.dialog->RequestQuit();
}

// Commands are carried out on the main thread, the one that ran start-up
// (the window's thread on Windows).
void OnCommandSignal(platform::WindowCommand command) {
  {
    std::lock_guard<std::mutex> g(End().lock);
    End().commands.push_back(command);
  }
  End().requested.Set();
}

void RunQueuedCommands(app::ServiceDialog& dialog) {
  for (;;) {
    platform::WindowCommand command;
    {
      std::lock_guard<std::mutex> g(End().lock);
      if (End().commands.empty()) return;
      command = End().commands.front();
      End().commands.pop_front();
    }
    if (command == platform::WindowCommand::kPortCheck)
      dialog.PortCheckPrint();
    else
      dialog.DeveloperImagePrint();
  }
}

// Makes the dialog reachable for the signal thread while it exists.
class RunningDialog {
 public:
  explicit RunningDialog(app::ServiceDialog& dialog) {
    std::lock_guard<std::mutex> g(End().lock);
    End().dialog = &dialog;
    if (End().terminated) dialog.RequestQuit();
  }
  ~RunningDialog() {
    std::lock_guard<std::mutex> g(End().lock);
    End().dialog = nullptr;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const platform::CommandLineAnswer answer =
      platform::AnswerCommandLine("portrelay", kHelp, {argv + 1, argv + argc}, stdout, stderr);
  if (answer.answered) return answer.status;
  platform::WatchTerminationSignals(OnTerminationSignal, OnCommandSignal);

  platform::SingleInstance& single = platform::NativeInstance();
  if (!single.Acquire("KelvoSvr")) return 0;

  platform::Platform& native = platform::Native();
  ui::posix::HeadlessView view(End().requested);
  ui::posix::HeadlessPrompt prompt(*native.clock, stdout);
  std::unique_ptr<links::LinkFront> link = links::NewLinkFront(native);
  app::ServiceDialog dialog(native, view, prompt, *link);
  single.PublishWindow(0);
  {
    RunningDialog running(dialog);
    dialog.OnInitDialog();
    // The main thread sleeps until it is needed: no polling while idle.
    // Both ends set their flag before the event, so the second check sees
    // an end whose wake-up the reset cleared.
    const auto ending = [&] { return End().terminated.load() || view.closedItself.load(); };
    for (;;) {
      End().requested.Wait();
      if (ending()) break;
      End().requested.Reset();
      if (ending()) break;
      RunQueuedCommands(dialog);
    }
  }
  dialog.Shutdown();
  return view.closedItself && !End().terminated ? 1 : 0;
}
