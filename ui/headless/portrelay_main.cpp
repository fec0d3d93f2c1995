// portrelay on Linux: the relay service without windows. It runs the same
// start-up as the Windows program, then relays until SIGINT or SIGTERM (exit
// status 0) or until the service closes itself after a fatal condition, such
// as a printer that cannot be reached at start-up (exit status 1). A second
// instance in the same installation ends at once (exit status 0).
#include <atomic>
#include <cstdio>
#include <mutex>

#include "app/service_dialog.h"
#include "links/link_front.h"
#include "platform/platform.h"
#include "platform/termination.h"
#include "ui/headless/headless_prompt.h"
#include "ui/headless/headless_view.h"

namespace {

// What the signal thread touches lives as long as the process: a signal may
// still arrive while main returns and destroys its objects.
struct EndOfRun {
  core::ManualResetEvent requested;  // a termination signal or the service's close
  std::atomic<bool> terminated{false};
  std::mutex lock;  // guards `dialog`
  app::ServiceDialog* dialog = nullptr;
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

int main() {
  platform::WatchTerminationSignals(OnTerminationSignal);

  platform::SingleInstance& single = platform::NativeInstance();
  if (!single.Acquire("KelvoSvr")) return 0;

  platform::Platform& native = platform::Native();
  ui::headless::HeadlessView view(End().requested);
  ui::headless::HeadlessPrompt prompt(*native.clock, stdout);
  std::unique_ptr<links::LinkFront> link = links::NewLinkFront(native);
  app::ServiceDialog dialog(native, view, prompt, *link);
  single.PublishWindow(0);
  {
    RunningDialog running(dialog);
    dialog.OnInitDialog();
    End().requested.Wait();
  }
  dialog.Shutdown();
  return view.closedItself && !End().terminated ? 1 : 0;
}
