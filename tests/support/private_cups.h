// A private CUPS scheduler for tests: its own configuration and state in a
// test's temporary directory, reached on a unix socket, with one raw queue.
// While it runs CUPS_SERVER names its socket, so CUPS clients started by the
// test (and this process, after cupsSetServer) use it.
#pragma once

#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace support {

class PrivateCups {
 public:
  explicit PrivateCups(const TempDir& dir) : dir_(dir) {}
  ~PrivateCups();
  PrivateCups(const PrivateCups&) = delete;
  PrivateCups& operator=(const PrivateCups&) = delete;

  std::string socket() const { return dir_.File("cups.sock"); }

  // Starts cupsd and adds a raw queue printing to `deviceUri`. Empty, or why not.
  std::string Start(const std::string& queue, const std::string& deviceUri);

 private:
  const TempDir& dir_;
  ChildProcess cupsd_;
};

}  // namespace support
