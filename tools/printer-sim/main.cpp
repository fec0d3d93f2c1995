// printer-sim: ESC/POS receipt printer simulator program. Runs a SimServer,
// prints its events on stdout and takes operator commands from stdin.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "tools/printer-sim/cli_options.h"
#include "tools/printer-sim/control_command.h"
#include "tools/printer-sim/sim_server.h"

namespace {

constexpr size_t kMaxLine = 4096;

}  // namespace

int main(int argc, char** argv) {
  using printersim::ControlAction;
  ::signal(SIGPIPE, SIG_IGN);

  printersim::CliOptions options;
  std::string error;
  if (printersim::ParseCli(argc, argv, &options, &error) != 0) {
    std::fprintf(stderr, "printer-sim: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(printersim::HelpText().c_str(), stdout);
    return 0;
  }

  // Signals are taken through a signalfd so that shutdown is an ordinary
  // event of the main loop.
  sigset_t quit_signals;
  sigemptyset(&quit_signals);
  sigaddset(&quit_signals, SIGINT);
  sigaddset(&quit_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &quit_signals, nullptr);
  const int signal_fd = ::signalfd(-1, &quit_signals, SFD_CLOEXEC);

  std::mutex out_mu;
  auto emit = [&out_mu](const std::string& line) {
    std::lock_guard<std::mutex> lock(out_mu);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  };

  printersim::SimServer server(options.config, emit);
  if (server.Start(&error) != 0) {
    std::fprintf(stderr, "printer-sim: %s\n", error.c_str());
    return 1;
  }

  int stdin_fd = STDIN_FILENO;
  std::string pending;
  bool done = false;
  while (!done && !server.quit_requested()) {
    pollfd fds[2] = {{signal_fd, POLLIN, 0}, {stdin_fd, POLLIN, 0}};
    if (::poll(fds, stdin_fd >= 0 ? 2 : 1, 200) <= 0) continue;
    if (fds[0].revents & POLLIN) break;
    if (stdin_fd < 0 || fds[1].revents == 0) continue;
    char buf[1024];
    const ssize_t n = ::read(stdin_fd, buf, sizeof buf);
    if (n <= 0) {
      stdin_fd = -1;  // Tests may close stdin; keep running until a signal.
      continue;
    }
    pending.append(buf, static_cast<size_t>(n));
    size_t newline;
    while (!done && (newline = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
      ControlAction action;
      if (!printersim::ParseControl(line, &action)) {
        emit("error unknown command: " + line);
      } else if (action == ControlAction::kQuit) {
        done = true;
      } else {
        server.Control(action);
      }
    }
    if (pending.size() > kMaxLine) {
      emit("error input line too long");
      pending.clear();
    }
  }
  server.Stop();
  emit("exit");
  return 0;
}
