// ComLink: open, chunked write, reader turn of a serial printer.
#include "links/com_link.h"

#include <algorithm>

#include "links/link_front.h"
#include "links/reader_block.h"
#include "links/serial_status_table.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace links {

namespace {

// Short printer replies that confirm a job on some serial printers.
bool IsShortDoneReply(const ReaderBlock& block) {
  if (block.length < 1 || block.length > 3) return false;
  const uint8_t last = block.bytes[block.length - 1];
  return last == 0x20 || last == 0x0D;
}

}  // namespace

ComLink::ComLink(platform::Clock& clock, platform::SerialPorts& ports, ReaderMode mode)
    : LocalPortLink(clock, ports, mode) {}

ComLink::~ComLink() { Close(); }

int ComLink::Open(const std::string& target, int parameter) {
  if (!EarlierReaderEnded()) return kOpenRefused;
  if (!OpenPort("\\\\.\\" + target)) {
    state().open = 0;
    return kOpenRefused;
  }
  PreparePort();
  const int baudRate = BaudRateOfIndex(parameter);
  if (baudRate == 0) return Fail(kOpenRefused, "Baudrate is none of 1200 to 115200");

  // A device without line settings is no serial port (a file, a printer
  // device): writing print data into it would look like success.
  platform::LineSettings line;
  if (!port()->GetLineSettings(line))
    return Fail(kOpenRefused,
                "no serial port: " + OsCause(port()->LastError(), "it has no line settings"));
  ConfigurePort(baudRate, line);

  LinkState& st = state();
  st.statusRequest = 0;
  st.coverOpen = 0;
  st.paperEnd = 0;
  return StartReaderAskingStatus();
}

// Writes below 38400 baud may take 19200 / rate ms per byte; from 38400 up
// they have no time-out of their own.
void ComLink::ConfigurePort(int baudRate, platform::LineSettings line) {
  platform::SerialPort& p = *port();
  platform::CommTimeouts t;
  t.readInterval = kPortReadInterval;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = kPortReadTotal;
  t.writeTotalMultiplier = static_cast<uint32_t>(19200 / baudRate);
  t.writeTotalConstant = 0;
  p.SetTimeouts(t);

  // Every other member keeps the value the port reported.
  platform::SetPlainLine(line, static_cast<uint32_t>(baudRate));
  p.SetLineSettings(line);
}

int ComLink::Write(const uint8_t* data, int length) {
  if (state().open == 0) return Fail(kWriteFailed, "the port is not open");
  std::lock_guard<std::mutex> g(portLock());
  platform::SerialPort* p = port();
  if (p == nullptr) return Fail(kWriteFailed, "the port is not open");
  if (length <= 0) {
    p->Purge(platform::kPurgeAll);
    return kWriteFailed;
  }
  int written = 0;
  while (written < length) {
    const int chunk = std::min(kChunkBytes, length - written);
    const platform::WriteResult r = p->WriteWithin(data + written, chunk, kChunkWaitMs);
    // A chunk the port took nothing of would be tried for ever.
    if (!r.finished || r.count <= 0) {
      const int error = p->LastError();
      p->Purge(platform::kPurgeAll);
      return Fail(kWriteFailed, OsCause(error, "the port took nothing"));
    }
    written += r.count;
  }
  // Only output still queued is purged: replies the reader has not read yet
  // (often the answer to this very write) must survive the write, and on a
  // port whose writes complete once sent nothing is left to clear, while
  // a pty-backed port (Wine) would lose bytes its printer has not read yet.
  if (p->QueuedOutput() > 0) p->Purge(platform::kPurgeTxAbort | platform::kPurgeTxClear);
  return kWriteDone;
}

void ComLink::ReaderTurn() {
  LinkState& st = state();
  PauseBeforeTurn();
  // statusRequest stays set until a status block clears it: the command
  // goes out every turn until the printer answers.
  if (st.statusRequest) EnableStatusBack();

  ReaderBlock block;
  block.Grow(Read(block.End(), block.Room()));
  NoteBlock(block);
  WatchCts();

  ForwardReply(block.bytes.data(), block.length);
  WatchSplitReply(block);
  if (ProcessIdReplyAtStart(block)) st.printDone = 1;
  if (IsShortDoneReply(block)) st.printDone = 1;
  if (block.length >= 4) st.readerStarted = 1;
  if (ProcessIdReplyAtEnd(block)) st.printDone = 1;

  RemoveKeepAlive(block);
  if (block.length >= 4) ApplyCoverBitTable(st, block, nullptr);
}

// CTS off is a printer switched off (or unplugged). A port that cannot report
// its lines says nothing about the printer.
void ComLink::WatchCts() {
  platform::SerialPort* p = port();
  platform::ModemStatus modem;
  if (p == nullptr || !p->GetModemStatus(modem)) return;
  LinkState& st = state();
  // Bytes sent while the printer is off are gone, and once it is back it
  // answers the next process-ID request: a switch either way counts as a lost
  // connection, so a job that met it is not confirmed by that answer.
  if (st.printerOff != (modem.cts ? 0 : 1)) CountConnectionLoss();
  if (!modem.cts) {
    st.printerOff = 1;
    st.statusRequest = 1;
  } else {
    st.printerOff = 0;
  }
}

}  // namespace links
