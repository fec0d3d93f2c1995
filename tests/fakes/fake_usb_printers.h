// USB printers for the USB link's tests: the interface paths the system
// lists, a fake printer behind each (opened by its path, with or without the
// data suffix), printers unplugged and plugged back, the link check's answer,
// and a record of the library loads, opens and link checks.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb_printers.h"
#include "tests/fakes/fake_printer_port.h"

namespace fakes {

class FakeUsbPrinters : public platform::UsbPrinters {
 public:
  explicit FakeUsbPrinters(FakeClock& clock) : clock_(clock) {}

  // A present printer under this interface path; returns its fake device.
  std::shared_ptr<FakePrinterPort> Plug(const std::string& path) {
    std::lock_guard<std::mutex> g(lock_);
    auto port = std::make_shared<FakePrinterPort>(clock_);
    printers_[path] = port;
    order_.push_back(path);
    return port;
  }
  // The printer goes away: no longer listed, and its open device fails.
  void Unplug(const std::string& path) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = printers_.find(path);
    if (it == printers_.end()) return;
    it->second->Unplug();
    printers_.erase(it);
    order_.erase(std::find(order_.begin(), order_.end(), path));
  }

  bool loadResult = true;
  // Listed printers refuse their opens with this OS error (0: they open).
  int openError = 0;
  void SetLinkCheck(int result) {
    std::lock_guard<std::mutex> g(lock_);
    linkCheck_ = result;
  }

  int loads() {
    std::lock_guard<std::mutex> g(lock_);
    return loads_;
  }
  int frees() {
    std::lock_guard<std::mutex> g(lock_);
    return frees_;
  }
  // "PATH" for a plain open, "PATH [overlapped]" for an overlapped one.
  std::vector<std::string> opens() {
    std::lock_guard<std::mutex> g(lock_);
    return opens_;
  }
  std::vector<std::string> linkChecks() {
    std::lock_guard<std::mutex> g(lock_);
    return checks_;
  }
  // Devices the link holds open at the moment.
  int held() {
    std::lock_guard<std::mutex> g(lock_);
    return held_;
  }

  bool LoadSetupLibrary() override {
    std::lock_guard<std::mutex> g(lock_);
    ++loads_;
    return loadResult;
  }
  void FreeSetupLibrary() override {
    std::lock_guard<std::mutex> g(lock_);
    ++frees_;
  }
  int ListPrinters(std::vector<std::string>& paths) override {
    std::lock_guard<std::mutex> g(lock_);
    paths = order_;
    return static_cast<int>(paths.size());
  }
  std::unique_ptr<platform::SerialPort> Open(const std::string& path, bool overlapped) override {
    std::lock_guard<std::mutex> g(lock_);
    opens_.push_back(path + (overlapped ? " [overlapped]" : ""));
    std::string key = path;
    const std::string suffix = "\\USB0/4";
    if (key.size() > suffix.size() &&
        key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
      key.resize(key.size() - suffix.size());
    auto it = printers_.find(key);
    if (it == printers_.end() || openError != 0) return nullptr;
    ++held_;
    return std::make_unique<FakePortHandle>(it->second, [this] {
      std::lock_guard<std::mutex> g(lock_);
      --held_;
    });
  }
  int LastError() override { return openError; }
  int CheckLink(const std::string& devicePath, bool view64) override {
    std::lock_guard<std::mutex> g(lock_);
    checks_.push_back(devicePath + (view64 ? " [64]" : ""));
    return linkCheck_;
  }

 private:
  FakeClock& clock_;
  std::mutex lock_;
  std::map<std::string, std::shared_ptr<FakePrinterPort>> printers_;
  std::vector<std::string> order_;
  int linkCheck_ = platform::kUsbLinked;
  int loads_ = 0;
  int frees_ = 0;
  int held_ = 0;
  std::vector<std::string> opens_;
  std::vector<std::string> checks_;
};

}  // namespace fakes
