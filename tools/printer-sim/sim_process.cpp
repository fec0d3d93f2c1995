// Child process handling for SimProcess (posix_spawn, pipes, bounded waits).
#include "tools/printer-sim/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tools/printer-sim/fd_util.h"
#include "tools/printer-sim/tcp_transport.h"

extern char** environ;

namespace printersim {

std::string SimBinaryPath() {
  if (const char* env = std::getenv("PRINTER_SIM_BIN"); env != nullptr && *env != '\0') return env;
#ifdef PRINTERSIM_BINARY_PATH
  return PRINTERSIM_BINARY_PATH;
#else
  return "printer-sim";
#endif
}

SimProcess::~SimProcess() {
  Terminate(std::chrono::seconds(2));
  CloseFd(&stdin_fd_);
  if (reader_.joinable()) reader_.join();
}

int SimProcess::Start(const std::string& binary, const std::vector<std::string>& args,
                      std::string* error, std::chrono::milliseconds timeout) {
  int in_pipe[2];
  int out_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
    *error = ErrnoText("pipe");
    return -1;
  }
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    *error = ErrnoText("pipe");
    ::close(in_pipe[0]);
    ::close(in_pipe[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  std::vector<std::string> storage{binary};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int rc = ::posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  if (rc != 0) {
    pid_ = -1;
    ::close(in_pipe[1]);
    ::close(out_pipe[0]);
    *error = "cannot start " + binary + ": " + std::strerror(rc);
    return -1;
  }
  stdin_fd_ = in_pipe[1];
  const int out_fd = out_pipe[0];
  reader_ = std::thread([this, out_fd] { ReadOutput(out_fd); });

  const auto line = events_.Next("listen ", timeout);
  if (!line) {
    *error = "no listen line from " + binary + "; output:\n" + events_.Dump();
    Terminate(std::chrono::seconds(2));
    return -1;
  }
  listen_line_ = *line;
  if (listen_line_.starts_with("listen tcp ")) {
    std::string host;
    SplitHostPort(std::string_view(listen_line_).substr(11), &host, &port_);
  }
  return 0;
}

void SimProcess::ReadOutput(int fd) {
  std::string pending;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    size_t newline;
    while ((newline = pending.find('\n')) != std::string::npos) {
      events_.Add(pending.substr(0, newline));
      pending.erase(0, newline + 1);
    }
  }
  if (!pending.empty()) events_.Add(pending);
  ::close(fd);
}

std::string SimProcess::StartOnLoopback(const std::vector<std::string>& args, std::string* error) {
  std::random_device rd;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::string ip = "127.0.0." + std::to_string(2 + rd() % 250);
    std::vector<std::string> all{"--tcp", ip + ":9100"};
    all.insert(all.end(), args.begin(), args.end());
    if (Start(SimBinaryPath(), all, error) == 0) return ip;
  }
  return "";
}

int SimProcess::Send(std::string_view line) {
  if (stdin_fd_ < 0) return -1;
  std::string text(line);
  text += '\n';
  return WriteAll(stdin_fd_, reinterpret_cast<const uint8_t*>(text.data()), text.size(), 2000,
                  false);
}

void SimProcess::CloseStdin() { CloseFd(&stdin_fd_); }

void SimProcess::Reap(int) {
  pid_ = -1;
  if (reader_.joinable()) reader_.join();  // Output ends with the process.
}

int SimProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (pid_ < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
      Reap(status);
      return status;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    ::usleep(10 * 1000);
  }
}

int SimProcess::Terminate(std::chrono::milliseconds timeout) {
  if (pid_ < 0) return -1;
  ::kill(pid_, SIGTERM);
  const int status = WaitExit(timeout);
  if (status != -1) return status;
  ::kill(pid_, SIGKILL);
  return WaitExit(std::chrono::seconds(5));
}

}  // namespace printersim
