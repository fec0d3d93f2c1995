// The log names why the relay gave up on its printer, for each link: the
// start-up's connection attempts run over the real links on fakes whose
// ports, sockets and spooler fail with a chosen OS error, and MainLog must
// carry one line per attempt with the printer and the cause.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "app/service_dialog.h"
#include "links/link_front.h"
#include "platform/os_error.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_print_spooler.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_sockets.h"
#include "tests/fakes/fake_usb_printers.h"
#include "tests/fakes/recording_view.h"
#include "tests/fakes/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::OsCause;
using platform::OsErrorFor;

struct Machine {
  Machine() {
    fake.files.SetModuleFileName(dir.File("portrelay.exe"));
    fake.platform.serialPorts = &ports;
    fake.platform.usb = &usb;
    fake.platform.sockets = &sockets;
    fake.platform.spooler = &spooler;
  }
  std::string Log() {
    return support::ReadFile(dir.File("MainLog") + fake.files.PathSeparator() + "2026_12_08.log");
  }

  support::TempDir dir;
  fakes::FakePlatform fake;
  fakes::FakeSerialPorts ports{fake.clock};
  fakes::FakeUsbPrinters usb{fake.clock};
  fakes::FakeSockets sockets{fake.clock};
  fakes::FakePrintSpooler spooler;
  fakes::RecordingView view;
  fakes::ScriptedPrompt prompt;
};

struct Case {
  const char* link;
  const char* settings;  // after [Settings]
  std::function<void(Machine&)> fail;
  const char* line;  // logged for each attempt at the configured printer
  size_t attempts;   // the first attempt of a printer not on the network goes to USB
};

TEST(PrinterFailureLog, EachLinkNamesThePrinterAndTheOsCause) {
  const Case cases[] = {
      {"serial", "Port=COM3\r\nBaudrate=9600\r\n",
       [](Machine& m) { m.ports.FailOpens("\\\\.\\COM3", OsErrorFor(OsCause::kHeld)); },
       "COM3: access denied (held by another program)", 4},
      {"parallel", "Port=LPT1\r\n",
       [](Machine& m) { m.ports.FailOpens("LPT1", OsErrorFor(OsCause::kHeld)); },
       "LPT1: access denied (held by another program)", 4},
      {"USB", "Port=USB\r\n",
       [](Machine& m) {
         m.usb.Plug("\\\\?\\usb#vid_0525&pid_a700#lp0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
         m.usb.openError = OsErrorFor(OsCause::kHeld);
       },
       "USB: access denied (held by another program)", 5},
      {"TCP/IP", "Port=TCP/IP\r\nIP=192.0.2.5\r\n",
       [](Machine& m) {
         m.sockets.connectWritable = 0;
         m.sockets.lastError = OsErrorFor(OsCause::kRefused);
       },
       "TCP/IP(192.0.2.5): connection refused", 5},
      {"TCP/IP, no address", "Port=TCP/IP\r\nIP=999.999.1.1\r\n", [](Machine&) {},
       "TCP/IP(999.999.1.1): \"999.999.1.1\" is not an IPv4 address", 5},
      {"spooler", "Port=Receipt\r\nBaudrate=1\r\n",
       [](Machine& m) { m.spooler.openError = OsErrorFor(OsCause::kNotFound); },
       "Receipt: no such port, device or printer", 4},
      {"no link", "Port=FOO7\r\n", [](Machine&) {},
       "FOO7: no link of that kind (COM, LPT, USB or TCP/IP) and no printer of that name", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    Machine m;
    c.fail(m);
    support::WriteFile(m.dir.File("Settings.ini"),
                       std::string("[Settings]\r\nLogFile=YES\r\n") + c.settings);
    std::unique_ptr<links::LinkFront> front =
        links::NewLinkFront(m.fake.platform, links::ReaderMode::kManual);
    {
      app::ServiceDialog dialog(m.fake.platform, m.view, m.prompt, *front);
      dialog.OnInitDialog();
      dialog.Shutdown();
    }
    const std::string log = m.Log();
    size_t lines = 0;
    for (size_t at = log.find(c.line); at != std::string::npos; at = log.find(c.line, at + 1))
      ++lines;
    EXPECT_EQ(lines, c.attempts) << log;
  }
}

}  // namespace
