// portrelay on Linux: the relay service without windows. It runs the same
// start-up as the Windows program, then relays until SIGINT or SIGTERM (exit
// status 0) or until the service closes itself after a fatal condition, such
// as a printer that cannot be reached at start-up (exit status 1). A second
// instance in the same installation ends at once (exit status 0).
// SIGUSR1 runs the application port check and SIGUSR2 the banner print, as
// the main window's buttons would; their outcome is printed like every
// pop-up. The running relay answers the commands of its installation
// (--recent, --reprint) on its control socket; a program started with one of
// them asks it and ends.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>

#include "app/service_dialog.h"
#include "core/control_protocol.h"
#include "links/link_front.h"
#include "platform/command_line.h"
#include "platform/os_error.h"
#include "platform/platform.h"
#include "platform/posix/control_socket.h"
#include "platform/termination.h"
#include "ui/posix/headless_prompt.h"
#include "ui/posix/headless_view.h"

namespace {

constexpr const char* kHelp =
    "The print relay without windows: relays the application's virtual port to the\n"
    "printer that Settings.ini beside the program names, until SIGINT or SIGTERM.\n"
    "SIGUSR1 runs the application port check, SIGUSR2 the banner print.\n"
    "Commands for the relay running from the same folder (status 0 done, 1 refused,\n"
    "3 no relay runs there):\n"
    "  --recent      the last 100 receipts of its journal, newest first: id, time\n"
    "                received, bytes, state, port\n"
    "  --reprint ID  prints receipt ID again, confirmed like any job\n"
    "  --help        this text\n"
    "  --version     the version\n";

constexpr const char* kInstanceName = "KelvoSvr";
constexpr int kExitRefused = 1;
constexpr int kExitNoRelay = 3;

std::string ProgramFolder() {
  const std::string program = platform::Native().files->ModuleFileName();
  return program.substr(0, program.rfind('/'));
}

// The request of the one command on the command line, if any; a malformed
// one ends the program with one line and the usage status.
std::optional<std::string> CommandRequest(int argc, char** argv, int& status) {
  std::optional<std::string> request;
  status = -1;
  for (int at = 1; at < argc && status < 0; ++at) {
    const std::string arg = argv[at];
    if (arg == "--help" || arg == "-h" || arg == "--version") return std::nullopt;
    if (arg != "--recent" && arg != "--reprint") continue;
    uint64_t id = 0;
    if (request) {
      std::fprintf(stderr, "portrelay: one command at a time (see --help)\n");
      status = platform::kExitUsage;
    } else if (arg == "--recent") {
      request = core::RecentRequest();
    } else if (at + 1 < argc && core::ParseJobId(argv[at + 1], id)) {
      request = core::ReprintRequest(id);
      ++at;
    } else {
      std::fprintf(stderr, "portrelay: --reprint takes a receipt id, as --recent lists it\n");
      status = platform::kExitUsage;
    }
  }
  return request;
}

// Asks the running relay and prints its answer.
int RunCommand(const std::string& request) {
  const std::string folder = ProgramFolder();
  std::string text;
  const int error =
      platform::posix::AskControl(folder, kInstanceName, request, core::kMaxControlAnswer, text);
  if (error == ENOENT || error == ECONNREFUSED) {
    std::fprintf(stderr, "portrelay: no relay runs in %s\n", folder.c_str());
    return kExitNoRelay;
  }
  const core::ControlAnswer answer = core::ParseControlAnswer(text);
  if (error != 0 || !answer.valid) {
    std::fprintf(stderr, "portrelay: the relay in %s did not answer: %s\n", folder.c_str(),
                 error ? platform::OsErrorText(error).c_str() : "not an answer of this version");
    return kExitNoRelay;
  }
  std::fputs(answer.text.c_str(), stdout);
  return answer.ok ? 0 : kExitRefused;
}

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
  int status = 0;
  const std::optional<std::string> request = CommandRequest(argc, argv, status);
  if (status >= 0) return status;
  const platform::CommandLineAnswer answer =
      platform::AnswerCommandLine("portrelay", kHelp, {argv + 1, argv + argc}, stdout, stderr,
                                  [](const std::vector<std::string>& args, size_t at) -> size_t {
                                    if (args[at] == "--recent") return 1;
                                    return args[at] == "--reprint" ? 2 : 0;
                                  });
  if (answer.answered) return answer.status;
  if (request) return RunCommand(*request);
  platform::WatchTerminationSignals(OnTerminationSignal, OnCommandSignal);

  platform::SingleInstance& single = platform::NativeInstance();
  if (!single.Acquire(kInstanceName)) return 0;

  platform::Platform& native = platform::Native();
  ui::posix::HeadlessView view(End().requested);
  ui::posix::HeadlessPrompt prompt(*native.clock, stdout);
  std::unique_ptr<links::LinkFront> link = links::NewLinkFront(native);
  app::ServiceDialog dialog(native, view, prompt, *link);
  single.PublishWindow(0);
  {
    RunningDialog running(dialog);
    dialog.OnInitDialog();
    // Started by the lock's holder alone, once the journal is open.
    platform::posix::ControlServer control;
    core::RelayService& service = dialog.service();
    if (const int error = control.Start(ProgramFolder(), kInstanceName, core::kMaxControlRequest,
                                        [&service](const std::string& line) {
                                          return core::AnswerControlRequest(service, line);
                                        })) {
      service.log().WriteLog(core::kLogError, "the control socket cannot be opened: %s",
                             platform::OsErrorText(error).c_str());
    }
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
