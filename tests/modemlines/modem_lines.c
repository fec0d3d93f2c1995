// Test-only preload library for Wine processes (never shipped). Wine asks a
// COM port's modem lines with ioctl TIOCMGET on the port's unix descriptor and
// sets DTR and RTS with TIOCMSET; pseudo-terminals refuse both, so a port
// backed by a pty reports no lines at all. This library answers those requests
// on pseudo-terminals from a state the test controls:
//
//   PORTRELAY_MODEM_LINES=DIR   DIR/pts-N holds the input lines of /dev/pts/N
//                               ("DSR CTS", blank or comma separated; also DCD
//                               and RI); DIR/default, when present, serves
//                               every pty without a file of its own.
//   DIR/pts-N.out               written here: the output lines the program set
//                               (DTR, RTS); both on until it sets them.
//
// A pty without a state file, any other descriptor and any other request go to
// the real ioctl. The file is read on every request, so a test changes a line
// by rewriting the file (write a temporary file, then rename it).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

typedef int (*IoctlFn)(int, unsigned long, void*);

// The C library's own entry of the same name.
static int RealIoctl(IoctlFn* real, const char* name, int fd, unsigned long request, void* arg) {
  if (!*real) *real = (IoctlFn)dlsym(RTLD_NEXT, name);
  if (!*real) {
    errno = ENOSYS;
    return -1;
  }
  return (*real)(fd, request, arg);
}

// The state file of the pty behind `fd`, or 0 when the test gave none.
static int StatePath(int fd, char* path, size_t size) {
  const char* dir = getenv("PORTRELAY_MODEM_LINES");
  if (!dir || !*dir) return 0;
  char link[64];
  char target[256];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return 0;
  target[n] = '\0';
  static const char kPts[] = "/dev/pts/";
  if (strncmp(target, kPts, sizeof kPts - 1) != 0) return 0;
  snprintf(path, size, "%s/pts-%s", dir, target + sizeof kPts - 1);
  if (access(path, R_OK) == 0) return 1;
  snprintf(path, size, "%s/default", dir);
  return access(path, R_OK) == 0;
}

static int ReadLines(const char* path, int fallback) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fallback;
  char text[256];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n < 0) return fallback;
  text[n] = '\0';
  static const struct {
    const char* name;
    int bit;
  } kLines[] = {{"DSR", TIOCM_DSR}, {"CTS", TIOCM_CTS}, {"DCD", TIOCM_CAR},
                {"RI", TIOCM_RNG},  {"DTR", TIOCM_DTR}, {"RTS", TIOCM_RTS}};
  int lines = 0;
  char* rest = text;
  for (char* word; (word = strtok_r(rest, " ,\t\r\n", &rest));)
    for (size_t i = 0; i < sizeof kLines / sizeof kLines[0]; ++i)
      if (strcmp(word, kLines[i].name) == 0) lines |= kLines[i].bit;
  return lines;
}

// Writes the output lines beside the state file, whole or not at all.
static void WriteOutputs(const char* statePath, int lines) {
  char path[512];
  char temporary[600];
  snprintf(path, sizeof path, "%s.out", statePath);
  snprintf(temporary, sizeof temporary, "%s.%d.%d", path, (int)getpid(), (int)gettid());
  const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  char text[32];
  const int dtr = (lines & TIOCM_DTR) != 0;
  const int rts = (lines & TIOCM_RTS) != 0;
  const int n = snprintf(text, sizeof text, "%s%s%s\n", dtr ? "DTR" : "", dtr && rts ? " " : "",
                         rts ? "RTS" : "");
  const int ok = write(fd, text, (size_t)n) == n;
  close(fd);
  if (!ok || rename(temporary, path) != 0) unlink(temporary);
}

static int ModemIoctl(IoctlFn* real, const char* name, int fd, unsigned long request, void* arg) {
  if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC)
    return RealIoctl(real, name, fd, request, arg);
  char statePath[400];
  if (!StatePath(fd, statePath, sizeof statePath)) return RealIoctl(real, name, fd, request, arg);
  if (!arg) {
    errno = EFAULT;
    return -1;
  }

  char outPath[512];
  snprintf(outPath, sizeof outPath, "%s.out", statePath);
  const int outputMask = TIOCM_DTR | TIOCM_RTS;
  int outputs = ReadLines(outPath, outputMask) & outputMask;
  const int value = *(int*)arg;
  switch (request) {
    case TIOCMGET:
      *(int*)arg = (ReadLines(statePath, 0) & ~outputMask) | outputs;
      return 0;
    case TIOCMSET:
      outputs = value & outputMask;
      break;
    case TIOCMBIS:
      outputs |= value & outputMask;
      break;
    default:
      outputs &= ~(value & outputMask);
      break;
  }
  WriteOutputs(statePath, outputs);
  return 0;
}

int ioctl(int fd, unsigned long request, ...) {
  static IoctlFn real;
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  return ModemIoctl(&real, "ioctl", fd, request, arg);
}

// 32-bit programs built with 64-bit time (Wine's i386 ntdll.so among them)
// call the C library's ioctl under this name.
int __ioctl_time64(int fd, unsigned long request, ...) {
  static IoctlFn real;
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  return ModemIoctl(&real, "__ioctl_time64", fd, request, arg);
}
