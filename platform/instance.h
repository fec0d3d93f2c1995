// Implemented by platform/win32/instance.cpp and platform/posix/instance.cpp.
// The named single-instance lock and the shared instance cell through which a
// second start finds the first instance's main window.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Creates (or opens) the named lock and holds it for the life of the object.
  // Returns false when another instance already holds it.
  virtual bool Acquire(const std::string& name) = 0;
  // First instance: publishes its main window handle in the shared cell.
  virtual void PublishWindow(std::intptr_t window) = 0;
  // Any instance: the handle the first one published, or 0.
  virtual std::intptr_t PublishedWindow() = 0;
};

}  // namespace platform
