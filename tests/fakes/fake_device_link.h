// A device link for the front's tests: open results from a script, the
// arguments it was opened with, closes and writes recorded, and a hook on
// each write so a test can play the printer (set printDone on the request).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "links/device_link.h"

namespace fakes {

class FakeDeviceLink : public links::DeviceLink {
 public:
  explicit FakeDeviceLink(platform::Clock& clock) : DeviceLink(clock, links::ReaderMode::kManual) {}

  // Open results, in order; 0 once the script runs out. Like the real links,
  // a failing open may leave the device held until Close.
  std::deque<int> openResults;
  std::function<void(const std::vector<uint8_t>&)> onWrite;
  int writeResult = 1;

  struct Opened {
    std::string target;
    int parameter;
  };
  std::vector<Opened> opens;
  int closes = 0;
  int statusDisables = 0;
  std::vector<std::vector<uint8_t>> writes;

  int Open(const std::string& target, int parameter) override {
    opens.push_back({target, parameter});
    state().open = 1;
    if (openResults.empty()) return 0;
    const int result = openResults.front();
    openResults.pop_front();
    return result;
  }
  int DisableStatus() override {
    ++statusDisables;
    return 1;
  }
  int Close() override {
    ++closes;
    state().open = 0;
    return 0;
  }
  int Write(const uint8_t* data, int length) override {
    std::vector<uint8_t> bytes(data, data + length);
    writes.push_back(bytes);
    if (onWrite) onWrite(bytes);
    return writeResult;
  }
  int Read(uint8_t*, int) override { return 0; }
  // The printer closed the connection; the link connected again.
  void LoseConnection() { CountConnectionLoss(); }
  void ReaderTurn() override {}
};

}  // namespace fakes
