// A program started by a test: arguments, working directory, extra
// environment, standard input on a pipe and standard output (with standard
// error) collected line by line, so a test can wait for an event line instead
// of sleeping. The child gets its own process group; the destructor kills the
// group if it still runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace support {

// For programs a user may stop, such as the benchmarks: on SIGINT or SIGTERM,
// every ChildProcess still running is asked to end (SIGTERM to its group), and
// so is every process given to AlsoEndOnTermination; then the program ends
// by the signal. A stopped benchmark must not leave its relay running.
void EndChildrenOnTermination();
// A process started otherwise (the printer simulator's SimProcess); 0 forgets it.
void AlsoEndOnTermination(int pid, int previousPid = 0);

class ChildProcess {
 public:
  struct Options {
    std::string workingDirectory;
    std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
    bool mergeStderr = true;
  };

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv, const Options& options);
  bool Start(const std::vector<std::string>& argv) { return Start(argv, Options{}); }

  int pid() const { return pid_; }
  bool Running();
  // Exit status, or 128 + signal number; nothing when it is still running then.
  std::optional<int> WaitExit(int timeoutMs);
  void Signal(int signal);  // to the whole process group
  void WriteStdin(const std::string& text);
  void CloseStdin();

  // True when a line containing `text` has been printed (now or within the time).
  bool WaitForOutput(const std::string& text, int timeoutMs);
  // Index of the first line at or after `from` containing `text`, waiting up to the time.
  std::optional<size_t> WaitForLine(const std::string& text, size_t from, int timeoutMs);
  std::vector<std::string> Lines();
  std::string Output();

 private:
  void ReadOutput(int fd);

  int pid_ = -1;
  int stdinFd_ = -1;
  std::optional<int> status_;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::string partial_;
};

// The directory of the running test executable (for finding built programs).
std::string ExecutableDirectory();

// Processor time (user + system, all threads, in seconds) of a running
// process, to the nanosecond; -1 when it cannot be read.
double ProcessorSeconds(int pid);

// The first process whose working directory, command line (NUL-separated)
// and process group satisfy `match`; -1 when none does.
int FindProcess(const std::function<bool(const std::string& cwd, const std::string& cmdline,
                                         int group)>& match);

}  // namespace support
