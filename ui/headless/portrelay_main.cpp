// portrelay on Linux: the relay service without windows. It runs the same
// start-up as the Windows program, then relays until SIGINT or SIGTERM (exit
// status 0) or until the service closes itself after a fatal condition, such
// as a printer that cannot be reached at start-up (exit status 1). A second
// instance in the same installation ends at once (exit status 0).
#include <atomic>
#include <cstdio>

#include "core/service_dialog.h"
#include "links/link_front.h"
#include "platform/platform.h"
#include "platform/termination.h"
#include "ui/headless/headless_prompt.h"
#include "ui/headless/headless_view.h"

int main() {
  ui::headless::HeadlessView view;
  std::atomic<core::ServiceDialog*> running{nullptr};
  platform::WatchTerminationSignals([&](int) {
    view.RequestTermination();
    if (core::ServiceDialog* dialog = running.load()) dialog->RequestQuit();
  });

  platform::SingleInstance& single = platform::NativeInstance();
  if (!single.Acquire("KelvoSvr")) return 0;

  platform::Platform& native = platform::Native();
  ui::headless::HeadlessPrompt prompt(*native.clock, stdout);
  std::unique_ptr<links::LinkFront> link = links::NewLinkFront(native);
  core::ServiceDialog dialog(native, view, prompt, *link);
  single.PublishWindow(0);
  running = &dialog;
  if (view.ended.IsSet()) dialog.RequestQuit();
  dialog.OnInitDialog();

  view.ended.Wait();
  running = nullptr;
  dialog.Shutdown();
  return view.closedItself && !view.terminated ? 1 : 0;
}
