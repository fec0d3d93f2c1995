// Starting programs on POSIX: posix_spawn with the program map (processes.h),
// and the machine facts the installer choice needs.
#include "platform/posix/processes.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/posix/native.h"

extern char** environ;

namespace platform::posix {
namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsPairInstallerName(const std::string& name) {
  const std::string lower = Lower(BaseName(name));
  return lower == "setup_com0com_v3.0.0.0_x86_signed.exe" ||
         lower == "setup_com0com_v3.0.0.0_x64_signed.exe" || lower == "setupc.exe";
}

thread_local int tProcessesError = 0;

// The GetLastError code closest to what went wrong; the errno is kept.
int WindowsError(int error) {
  tProcessesError = error;
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return 5;  // ERROR_ACCESS_DENIED
    case ENOEXEC:
      return 193;  // ERROR_BAD_EXE_FORMAT
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

int Spawn(const std::vector<std::string>& args, pid_t& pid, bool ownSession = false) {
  if (args.empty()) return WindowsError(ENOENT);
  struct stat st {};
  if (stat(args[0].c_str(), &st) != 0) return WindowsError(errno);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (ownSession) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const int error = posix_spawn(&pid, args[0].c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? 0 : WindowsError(error);
}

std::string DirectoryOf(const std::string& path) {
  const size_t cut = path.rfind('/');
  return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

class SpawnedProcess : public Process {
 public:
  explicit SpawnedProcess(pid_t pid) : pid_(pid) {}
  ~SpawnedProcess() override {
    if (pid_ > 0) {
      // Never leave a zombie: an unwaited program is reaped when it ends.
      const pid_t pid = pid_;
      std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    }
  }

  uint32_t WaitForEnd() override {
    int status = 0;
    pid_t r;
    do {
      r = waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    if (r < 0) return 0xFFFFFFFFu;
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    // A program killed by a signal: 128 + the signal, as a shell reports it.
    return 128u + static_cast<uint32_t>(WTERMSIG(status));
  }

 private:
  pid_t pid_;
};

class PosixProcesses : public Processes {
 public:
  explicit PosixProcesses(std::string directory) : directory_(std::move(directory)) {}

  int Start(const std::string& commandLine, std::unique_ptr<Process>& process) override {
    pid_t pid = -1;
    const int error = Spawn(MapCommandLine(commandLine, Directory()), pid);
    if (error != 0) return error;
    process = std::make_unique<SpawnedProcess>(pid);
    return 0;
  }

  // No elevation prompt here: the program runs with the relay's own rights.
  int RunElevatedHidden(const std::string& file, const std::string& parameters) override {
    std::string commandLine = "\"" + file + "\"";
    if (!parameters.empty()) commandLine += " " + parameters;
    pid_t pid = -1;
    const int error = Spawn(MapCommandLine(commandLine, Directory()), pid);
    if (error != 0) return error;
    SpawnedProcess unwaited(pid);
    return 0;
  }

  // The started program gets a session of its own, so that it outlives the
  // terminal or session of whoever started it, as a started Windows program does.
  int Launch(const std::string&, const std::string& file) override {
    struct stat st {};
    if (stat(DirectoryOf(file).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      tProcessesError = ENOENT;
      return kErrorPathNotFound;
    }
    pid_t pid = -1;
    const int error = Spawn({file}, pid, true);
    if (error != 0) return error;
    SpawnedProcess unwaited(pid);
    return 0;
  }

  int RunCommand(const std::string& command) override {
    const int status = std::system(command.c_str());
    if (status == -1) {
      tProcessesError = errno != 0 ? errno : EIO;
      return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
  }

  bool UserIsAdmin() override { return geteuid() == 0; }

  bool QueryOsVersion(OsVersion& version) override {
    utsname name{};
    if (uname(&name) != 0) return false;
    version.platformId = kPlatformNt;
    char* end = nullptr;
    version.major = static_cast<uint32_t>(std::strtoul(name.release, &end, 10));
    version.minor =
        end && *end == '.' ? static_cast<uint32_t>(std::strtoul(end + 1, nullptr, 10)) : 0;
    return true;
  }

  // The installers are played by this build's own pairsetup, which runs on
  // any processor: a 64-bit build reports x64 and a 32-bit build x86.
  int ProcessorArchitecture() override {
    utsname name{};
    if (uname(&name) == 0 && Lower(name.machine) == "ia64") return kProcessorIa64;
    return sizeof(void*) == 8 ? kProcessorAmd64 : kProcessorIntel;
  }

  bool ProductType(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t&) override { return false; }

  std::string ProgramFileName(const std::string& program) const override { return program; }

  int LastError() override { return tProcessesError; }

 private:
  std::string Directory() const {
    if (!directory_.empty()) return directory_;
    PosixFiles files;
    const std::string exe = files.ModuleFileName();
    return exe.substr(0, exe.rfind('/'));
  }

  std::string directory_;
};

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, any = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) args.push_back(current);
  return args;
}

std::vector<std::string> MapCommandLine(const std::string& commandLine,
                                        const std::string& programDirectory) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) return args;
  if (IsPairInstallerName(args[0])) {
    const bool setupc = Lower(BaseName(args[0])) == "setupc.exe";
    args[0] = programDirectory + "/" + kPairInstallerProgram;
    if (!setupc) args.resize(1);  // the installers take no arguments
  } else if (args[0].find('/') == std::string::npos) {
    args[0] = programDirectory + "/" + args[0];
  }
  return args;
}

std::unique_ptr<Processes> MakeProcesses(const std::string& programDirectory) {
  return std::make_unique<PosixProcesses>(programDirectory);
}

Processes& NewProcesses() {
  static PosixProcesses processes("");
  return processes;
}

}  // namespace platform::posix
