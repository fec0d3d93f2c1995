// USB printers on Linux, found through sysfs (see usb_printers.h).
#include "platform/posix/usb_printers.h"

#include <errno.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/posix/native.h"
#include "platform/posix/port_map.h"
#include "platform/serial_port.h"

namespace platform::posix {
namespace {

namespace fs = std::filesystem;

constexpr char kClassSuffix[] = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
constexpr char kDataSuffix[] = "\\USB0/4";

struct UsbIds {
  std::string vendor;  // four lower-case hex digits
  std::string product;
};

// "lp" and digits only: a name from a path never leaves the two folders.
bool IsPrinterName(const std::string& name) {
  return name.size() > 2 && name.compare(0, 2, "lp") == 0 &&
         std::all_of(name.begin() + 2, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::string ReadId(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  in >> text;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The kernel name ("lp0") and the identifiers a listed path carries.
bool ParsePath(std::string path, std::string& name, UsbIds& ids) {
  if (path.size() >= sizeof kDataSuffix - 1 &&
      path.compare(path.size() - (sizeof kDataSuffix - 1), std::string::npos, kDataSuffix) == 0)
    path.resize(path.size() - (sizeof kDataSuffix - 1));
  // \\?\usb#vid_XXXX&pid_YYYY#lpN#{class}
  const size_t first = path.find('#');
  const size_t second = first == std::string::npos ? first : path.find('#', first + 1);
  const size_t third = second == std::string::npos ? second : path.find('#', second + 1);
  if (third == std::string::npos) return false;
  const std::string idPart = path.substr(first + 1, second - first - 1);
  name = path.substr(second + 1, third - second - 1);
  if (idPart.size() != 17 || idPart.compare(0, 4, "vid_") != 0 ||
      idPart.compare(8, 5, "&pid_") != 0)
    return false;
  ids.vendor = idPart.substr(4, 4);
  ids.product = idPart.substr(13, 4);
  return IsPrinterName(name);
}

// errno of the calling thread's last failed open.
thread_local int tOpenError = 0;

class PosixUsbPrinters : public UsbPrinters {
 public:
  PosixUsbPrinters(std::string sysRoot, std::string devRoot)
      : classDir_(std::move(sysRoot) + "/class/usbmisc"), devDir_(std::move(devRoot) + "/usb") {}

  bool LoadSetupLibrary() override { return true; }
  void FreeSetupLibrary() override {}

  int ListPrinters(std::vector<std::string>& paths) override {
    paths.clear();
    std::vector<std::pair<long, std::string>> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(classDir_, ec)) {
      const std::string name = entry.path().filename().string();
      if (IsPrinterName(name) && name.size() < 12)
        names.emplace_back(std::stol(name.substr(2)), name);
    }
    std::sort(names.begin(), names.end());
    for (const auto& [number, name] : names) {
      UsbIds ids;
      if (!ReadIds(name, ids)) continue;
      paths.push_back("\\\\?\\usb#vid_" + ids.vendor + "&pid_" + ids.product + "#" + name +
                      kClassSuffix);
    }
    return static_cast<int>(paths.size());
  }

  std::unique_ptr<SerialPort> Open(const std::string& path, bool) override {
    std::string name;
    UsbIds ids;
    if (!ParsePath(path, name, ids)) {
      tOpenError = ENOENT;
      return nullptr;
    }
    std::unique_ptr<SerialPort> port = OpenDevicePath(devDir_ + "/" + name);
    if (!port) tOpenError = LastOpenError();
    // Bounded reads until the link sets its own time-outs.
    if (port) port->SetTimeouts({50, 0, 100, 0, 0});
    return port;
  }

  int LastError() override { return tOpenError; }

  int CheckLink(const std::string& devicePath, bool) override {
    std::error_code ec;
    if (!fs::is_directory(classDir_, ec)) return kUsbLinkUnknown;
    std::string name;
    UsbIds wanted, present;
    if (!ParsePath(devicePath, name, wanted)) return kUsbNotLinked;
    if (!ReadIds(name, present)) return kUsbNotLinked;
    return present.vendor == wanted.vendor && present.product == wanted.product ? kUsbLinked
                                                                                : kUsbNotLinked;
  }

 private:
  // The USB device is the parent of the interface the class entry links to.
  bool ReadIds(const std::string& name, UsbIds& ids) {
    std::error_code ec;
    const fs::path interface = fs::canonical(fs::path(classDir_) / name / "device", ec);
    if (ec) return false;
    const fs::path device = interface.parent_path();
    ids.vendor = ReadId(device / "idVendor");
    ids.product = ReadId(device / "idProduct");
    return ids.vendor.size() == 4 && ids.product.size() == 4;
  }

  const std::string classDir_;
  const std::string devDir_;
};

}  // namespace

std::unique_ptr<UsbPrinters> MakeUsbPrinters(const std::string& sysRoot,
                                             const std::string& devRoot) {
  return std::make_unique<PosixUsbPrinters>(sysRoot, devRoot);
}

UsbPrinters& NewUsbPrinters() {
  static PosixUsbPrinters printers("/sys", "/dev");
  return printers;
}

}  // namespace platform::posix
