// The modem-line library on real pseudo-terminals: loaded into this process
// with dlopen and called through its own ioctl entries, with state files in a
// fresh directory.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using IoctlFn = int (*)(int, unsigned long, ...);

class ModemLinesLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    library = dlopen(PORTRELAY_MODEM_SHIM_DIR "/lib/x86_64-linux-gnu/libmodemlines.so", RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    ioctlEntry = reinterpret_cast<IoctlFn>(dlsym(library, "ioctl"));
    time64Entry = reinterpret_cast<IoctlFn>(dlsym(library, "__ioctl_time64"));
    ASSERT_NE(ioctlEntry, nullptr);
    ASSERT_NE(time64Entry, nullptr);
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string name = ptsname(master);
    pty = open(name.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(pty, 0);
    stateFile = dir.File("pts-" + fs::path(name).filename().string());
    setenv("PORTRELAY_MODEM_LINES", dir.path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("PORTRELAY_MODEM_LINES");
    if (pty >= 0) close(pty);
    if (master >= 0) close(master);
    if (library) dlclose(library);
  }

  int Lines(IoctlFn entry) {
    int lines = -1;
    return entry(pty, TIOCMGET, &lines) == 0 ? lines : -errno;
  }

  support::TempDir dir;
  void* library = nullptr;
  IoctlFn ioctlEntry = nullptr;
  IoctlFn time64Entry = nullptr;
  int master = -1;
  int pty = -1;
  std::string stateFile;
};

TEST_F(ModemLinesLibrary, AnswersFromTheStateFileOnEitherEntry) {
  support::WriteFile(stateFile, "DSR CTS\n");
  for (IoctlFn entry : {ioctlEntry, time64Entry})
    EXPECT_EQ(Lines(entry), TIOCM_DSR | TIOCM_CTS | TIOCM_DTR | TIOCM_RTS);
  // A rewritten file counts at the next question.
  support::WriteFile(stateFile, "DCD,RI");
  EXPECT_EQ(Lines(ioctlEntry), TIOCM_CAR | TIOCM_RNG | TIOCM_DTR | TIOCM_RTS);
  support::WriteFile(stateFile, "");
  EXPECT_EQ(Lines(ioctlEntry), TIOCM_DTR | TIOCM_RTS);
}

TEST_F(ModemLinesLibrary, KeepsTheOutputLinesTheProgramSets) {
  support::WriteFile(stateFile, "DSR");
  struct Step {
    unsigned long request;
    int value;
    const char* outputs;
  };
  const Step steps[] = {
      {TIOCMBIC, TIOCM_DTR, "RTS"},
      {TIOCMBIS, TIOCM_DTR | TIOCM_DSR, "DTR RTS"},  // an input line cannot be set
      {TIOCMSET, TIOCM_DTR, "DTR"},
      {TIOCMSET, 0, ""},
  };
  for (const Step& step : steps) {
    int value = step.value;
    ASSERT_EQ(ioctlEntry(pty, step.request, &value), 0);
    std::string text = support::ReadFile(stateFile + ".out");
    while (!text.empty() && text.back() == '\n') text.pop_back();
    EXPECT_EQ(text, step.outputs) << "after request " << step.request;
  }
  EXPECT_EQ(Lines(ioctlEntry), TIOCM_DSR);
}

TEST_F(ModemLinesLibrary, LeavesWhatItIsNotToldAboutToTheSystem) {
  // A pty without a state file: the kernel's own refusal.
  int lines = 0;
  const int kernel = ioctl(pty, TIOCMGET, &lines) == 0 ? 0 : -errno;
  ASSERT_NE(kernel, 0) << "this kernel answers TIOCMGET on ptys";
  EXPECT_EQ(Lines(ioctlEntry), kernel);
  // The default file serves every pty without a file of its own.
  support::WriteFile(dir.File("default"), "CTS");
  EXPECT_EQ(Lines(ioctlEntry), TIOCM_CTS | TIOCM_DTR | TIOCM_RTS);
  // Without the variable nothing is answered, and other requests pass through.
  unsetenv("PORTRELAY_MODEM_LINES");
  EXPECT_EQ(Lines(ioctlEntry), kernel);
  int queued = -1;
  EXPECT_EQ(ioctlEntry(pty, FIONREAD, &queued), 0);
  EXPECT_EQ(queued, 0);
}

}  // namespace
