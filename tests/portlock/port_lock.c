// Test-only preload library for Wine (never shipped). On Windows a COM port
// is exclusive: while one program holds it open, every other CreateFile on it
// fails, whatever sharing it asks for; a point-of-sale program holding the
// application end is exactly what the application port check reports. Wine
// does not enforce that for devices, so under Wine this library does: the
// wine server opens every device a program asks for, and here each open of a
// pseudo-terminal takes an exclusive lock on it (flock, the lock the Linux
// build's own serial ports take). An open of a pseudo-terminal that another
// open holds fails with EBUSY; the lock goes with the last close of its open.
// Every other file goes to the C library untouched.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);

static int IsPseudoTerminal(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  char link[64];
  char target[256];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return 0;
  target[n] = '\0';
  return strncmp(target, "/dev/pts/", 9) == 0;
}

// The descriptor, or -1 with EBUSY when another open holds the terminal.
static int Exclusive(int fd) {
  if (fd < 0 || !IsPseudoTerminal(fd)) return fd;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  const int error = errno == EWOULDBLOCK ? EBUSY : errno;
  close(fd);
  errno = error;
  return -1;
}

static mode_t ModeOf(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0;
}

#define REAL(type, name)                          \
  static type real;                               \
  if (!real) real = (type)dlsym(RTLD_NEXT, name); \
  if (!real) {                                    \
    errno = ENOSYS;                               \
    return -1;                                    \
  }

int open(const char* path, int flags, ...) {
  REAL(OpenFn, "open");
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Exclusive(real(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
  REAL(OpenFn, "open64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Exclusive(real(path, flags, mode));
}

int openat(int dir, const char* path, int flags, ...) {
  REAL(OpenAtFn, "openat");
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Exclusive(real(dir, path, flags, mode));
}

int openat64(int dir, const char* path, int flags, ...) {
  REAL(OpenAtFn, "openat64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return Exclusive(real(dir, path, flags, mode));
}
