// The application port check and the developer print (see port_check.h).
#include "app/port_check.h"

#include <memory>

#include "app/test_page.h"
#include "core/format.h"
#include "core/texts.h"
#include "links/escpos.h"

namespace app {
namespace {

constexpr const char* kMessageBoxCaption = "portrelay";

using PortHandle = std::unique_ptr<platform::SerialPort>;

// The set-up after a successful open: time-outs, then the line. On failure
// the port is closed first and the step's message box shown.
int SetUpPort(core::RelayService& service, PortHandle& port, const std::string& portName) {
  platform::System& system = *service.platform().system;
  auto fail = [&](const char* format, int result) {
    port.reset();
    system.ShowMessageBox(core::FormatText(format, portName.c_str()), kMessageBoxCaption);
    return result;
  };

  platform::CommTimeouts timeouts;
  port->GetTimeouts(timeouts);
  SetCheckTimeouts(timeouts);
  if (!port->SetTimeouts(timeouts))
    return fail(core::texts::kCheckTimeoutsFailed, kCheckTimeoutsFailed);

  platform::LineSettings line;
  if (!port->GetLineSettings(line))
    return fail(core::texts::kCheckGetStateFailed, kCheckGetStateFailed);
  SetCheckLine(line);
  if (!port->SetLineSettings(line))
    return fail(core::texts::kCheckSetStateFailed, kCheckSetStateFailed);
  return kCheckUsable;
}

PortHandle OpenPort(core::RelayService& service, const std::string& portName) {
  return service.platform().serialPorts->Open(CheckDevicePath(portName), false);
}

bool SendAll(platform::SerialPort& port, const uint8_t* data, std::size_t size) {
  const int n = static_cast<int>(size);
  return port.Write(data, n, 0) == n;
}

}  // namespace

std::string CheckDevicePath(const std::string& portName) {
  std::string path = "\\\\.\\" + portName;
  if (path.size() > kDevicePathBufferSize - 1) path.resize(kDevicePathBufferSize - 1);
  return path;
}

void SetCheckTimeouts(platform::CommTimeouts& t) {
  t.readInterval = platform::kMaxDword;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = 0;
  t.writeTotalMultiplier = 0;
  t.writeTotalConstant = 0;
}

void SetCheckLine(platform::LineSettings& line) { platform::SetPlainLine(line, 9600); }

int PortCheckPrint(core::RelayService& service, const std::string& portName) {
  core::Prompt& prompt = service.prompt();
  auto say = [&](const core::Text& text) {
    return core::FormatText(service.Say(text).c_str(), portName.c_str());
  };

  PortHandle port = OpenPort(service, portName);
  if (!port) {
    prompt.Show(say(core::texts::kPortInUse), core::kStatusError, nullptr);
    return kCheckInUse;
  }
  if (int result = SetUpPort(service, port, portName); result != kCheckUsable) return result;

  const bool written =
      WriteTestPage(*port, portName, service.codePage(), *service.platform().system);
  port.reset();
  if (!written) {
    prompt.Show(say(core::texts::kPortTransferFailed), core::kStatusError, nullptr);
    return kCheckWriteFailed;
  }
  prompt.Show(say(core::texts::kPortUsable), core::kStatusNormal, nullptr);
  return kCheckUsable;
}

int DeveloperImagePrint(core::RelayService& service, const std::string& portName) {
  platform::System& system = *service.platform().system;
  PortHandle port = OpenPort(service, portName);
  if (!port) {
    // A developer's tool: its one localised message is the Korean one.
    const std::string text =
        core::FormatText(system.FromUtf8(core::texts::kPortInUse.korean).c_str(), portName.c_str());
    system.ShowMessageBox(text, kMessageBoxCaption);
    return kCheckInUse;
  }
  if (int result = SetUpPort(service, port, portName); result != kCheckUsable) return result;

  if (!SendAll(*port, TestPageImage.data(), TestPageImage.size())) {
    port.reset();
    system.ShowMessageBox(core::texts::kImageWriteFailed, kMessageBoxCaption);
    return kCheckWriteFailed;
  }
  SendAll(*port, links::kFeed48, sizeof links::kFeed48);
  SendAll(*port, links::kFeed48, sizeof links::kFeed48);
  const bool cut = SendAll(*port, links::kCutPartial, sizeof links::kCutPartial);
  port.reset();
  if (!cut) {
    system.ShowMessageBox(core::texts::kImageWriteFailed, kMessageBoxCaption);
    return kCheckWriteFailed;
  }
  return kCheckUsable;
}

}  // namespace app
