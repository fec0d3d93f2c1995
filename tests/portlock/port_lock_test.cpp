// The exclusive-port preload library on real pseudo-terminals: a second open
// of a terminal fails while the first is held and succeeds once it is
// closed; other files open as often as asked.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);

class PortLock : public ::testing::Test {
 protected:
  void SetUp() override {
    library = dlopen(PORTRELAY_PORTLOCK, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    open = reinterpret_cast<OpenFn>(dlsym(library, "open"));
    openat = reinterpret_cast<OpenAtFn>(dlsym(library, "openat"));
    ASSERT_TRUE(open && openat);
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  }
  void TearDown() override {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
    if (library) dlclose(library);
  }

  void* library = nullptr;
  OpenFn open = nullptr;
  OpenAtFn openat = nullptr;
  int master = -1, slave = -1;
  char name[128] = {};
};

TEST_F(PortLock, SecondOpenOfATerminalFailsUntilTheFirstCloses) {
  const int first = open(name, O_RDWR | O_NOCTTY);
  ASSERT_GE(first, 0);
  errno = 0;
  EXPECT_EQ(open(name, O_RDWR | O_NOCTTY), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(openat(AT_FDCWD, name, O_RDWR | O_NOCTTY), -1);
  close(first);
  const int again = openat(AT_FDCWD, name, O_RDWR | O_NOCTTY);
  EXPECT_GE(again, 0);
  if (again >= 0) close(again);
}

// Only opens through the library count: the test's own descriptors of the
// pair, like a Linux program holding the terminal, take no lock.
TEST_F(PortLock, OpensElsewhereDoNotHoldTheTerminal) {
  const int first = open(name, O_RDWR | O_NOCTTY);
  EXPECT_GE(first, 0);
  if (first >= 0) close(first);
}

TEST_F(PortLock, OtherFilesOpenAsOftenAsAsked) {
  support::TempDir dir;
  const std::string file = dir.File("plain");
  const int a = open(file.c_str(), O_RDWR | O_CREAT, 0644);
  const int b = open(file.c_str(), O_RDWR);
  EXPECT_GE(a, 0);
  EXPECT_GE(b, 0);
  close(a);
  close(b);
  const int null1 = open("/dev/null", O_RDWR), null2 = open("/dev/null", O_RDWR);
  EXPECT_GE(null1, 0);
  EXPECT_GE(null2, 0);
  close(null1);
  close(null2);
}

}  // namespace
