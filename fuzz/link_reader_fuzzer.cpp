// Fuzzing the device links' readers: the bytes a printer sends (as any
// stranger on port 9100, a faulty serial printer or a broken USB device
// could send them), in pieces of any size, some arriving while a reply is
// being gathered, between reader turns, writes and print-result waits, with
// the application's port open, closed or full. Built once per link:
// FUZZ_LINK_TCP, FUZZ_LINK_COM, FUZZ_LINK_LPT or FUZZ_LINK_USB.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "links/com_link.h"
#include "links/lpt_link.h"
#include "links/tcp_link.h"
#include "links/usb_link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_printer_port.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_sockets.h"
#include "tests/fakes/fake_usb_printers.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kEot2 = {0x10, 0x04, 0x02};
const Bytes kEot4 = {0x10, 0x04, 0x04};
const Bytes kStatusOn = {0x1D, 0x61, 0xFF};

// The printer on the far side of the link: answers the open's probe, then
// sends what the input says.
struct Rig {
  fakes::FakeClock clock;
#if defined(FUZZ_LINK_TCP)
  fakes::FakeSockets sockets{clock};
  fakes::FakeSystem system;
  links::TcpLink link{clock, sockets, system, links::ReaderMode::kManual};
  bool Open() {
    sockets.Answer(kEot2, {0x12});
    sockets.Answer(kEot4, {0x12});
    return link.Open("192.168.0.50", 9100) == 0;
  }
  void Deliver(const Bytes& bytes, uint32_t delayMs) { sockets.Deliver(bytes, delayMs); }
  void Vary(uint8_t how) {
    if (how == 1) sockets.ClosePeer();
    if (how == 2) sockets.ReopenPeer();
    if (how == 3) sockets.DropConnections();
  }
#elif defined(FUZZ_LINK_COM) || defined(FUZZ_LINK_LPT)
  fakes::FakeSerialPorts ports{clock};
#if defined(FUZZ_LINK_COM)
  std::shared_ptr<fakes::FakePrinterPort> printer = ports.Add("\\\\.\\COM3");
  links::ComLink link{clock, ports, links::ReaderMode::kManual};
  bool Open() { return link.Open("COM3", 6) == 0; }
#else
  std::shared_ptr<fakes::FakePrinterPort> printer = ports.Add("LPT1");
  links::LptLink link{clock, ports, links::ReaderMode::kManual};
  bool Open() { return link.Open("LPT1", 0) == 0; }
#endif
  void Deliver(const Bytes& bytes, uint32_t) { printer->Deliver(bytes); }
  void Vary(uint8_t how) {
    if (how == 1) printer->SetCts(false);
    if (how == 2) printer->SetCts(true);
    if (how == 3) printer->SetReadMs(60);
  }
#elif defined(FUZZ_LINK_USB)
  fakes::FakeUsbPrinters usb{clock};
  std::shared_ptr<fakes::FakePrinterPort> printer =
      usb.Plug("\\\\?\\usb#vid_0525&pid_a700#5&1&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  fakes::FakeProcesses machine;
  links::UsbLink link{clock, usb, machine, links::ReaderMode::kManual};
  bool Open() {
    printer->Answer(kEot2, {0x12});
    printer->Answer(kEot4, {0x12});
    return link.Open("USB", 0) == 0;
  }
  void Deliver(const Bytes& bytes, uint32_t) { printer->Deliver(bytes); }
  void Vary(uint8_t how) { usb.SetLinkCheck(how % 3); }
#else
#error "define FUZZ_LINK_TCP, FUZZ_LINK_COM, FUZZ_LINK_LPT or FUZZ_LINK_USB"
#endif
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Rig rig;
  if (!rig.Open()) std::abort();  // the probe is answered: the open must succeed
  auto app = std::make_shared<fakes::FakeSerialPort>();
  rig.link.SetReplyPort(app);
  links::ReplyCopy copy{};

  for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
      case 1: {
        const size_t n = input.ConsumeIntegralInRange<size_t>(0, 600);
        const Bytes bytes = input.ConsumeBytes<uint8_t>(n);
        rig.Deliver(bytes, input.ConsumeIntegralInRange<uint32_t>(0, 500));
        break;
      }
      case 2:
      case 3:
        rig.link.ReaderTurn();
        break;
      case 4: {
        const uint8_t how = input.ConsumeIntegral<uint8_t>();
        app->SetDsr(how & 1);
        app->SetFull(how & 2, &rig.clock);
        rig.Vary(static_cast<uint8_t>(how >> 2));
        break;
      }
      case 5: {
        const Bytes job = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 64));
        rig.link.Write(job.data(), static_cast<int>(job.size()));
        break;
      }
      case 6:
        if (rig.link.TakeReplyCopy(copy) >= links::kReplyCopySize) std::abort();
        rig.link.TakeDroppedReplies();
        break;
      case 7: {
        const links::LinkState& st = rig.link.state();
        for (int flag : {st.coverOpen.load(), st.paperNearEnd.load(), st.paperEnd.load(),
                         st.printerOff.load(), st.printDone.load(), st.statusRequest.load()})
          if (flag != 0 && flag != 1) std::abort();
        break;
      }
    }
  }
  rig.link.Close();
  return 0;
}
