// The POSIX factory: one instance of every platform implementation.
#include "platform/posix/native.h"

namespace platform {

Platform& Native() {
  static posix::PosixClock clock;
  static posix::PosixFiles files;
  static posix::PosixProfile profile;
  static posix::PosixSystem system;
  static Platform p{&clock, &files, &profile, &system};
  return p;
}

SingleInstance& NativeInstance() { return posix::NewInstance(); }

}  // namespace platform
