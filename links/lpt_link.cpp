// LptLink: open, budgeted write, reader turn of a parallel printer.
#include "links/lpt_link.h"

#include "links/reader_block.h"
#include "links/serial_status_table.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace links {

namespace {

constexpr uint32_t kRetryPauseMs = 10;

}  // namespace

LptLink::LptLink(platform::Clock& clock, platform::SerialPorts& ports, ReaderMode mode)
    : LocalPortLink(clock, ports, mode) {}

LptLink::~LptLink() { Close(); }

int LptLink::Open(const std::string& target, int) {
  if (!EarlierReaderEnded()) return kOpenRefused;
  if (holdsPort()) return Fail(kOpenRefused, "the last connection still holds the port");
  if (!OpenPort(target)) {
    state().open = 0;
    return kOpenRefused;
  }
  PreparePort();

  LinkState& st = state();
  st.statusRequest = 0;
  st.coverOpen = 0;
  st.paperEnd = 0;
  platform::CommTimeouts t;
  t.readInterval = kPortReadInterval;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = kPortReadTotal;
  t.writeTotalMultiplier = 1;
  t.writeTotalConstant = kWriteTimeoutMs;
  port()->SetTimeouts(t);
  return StartReaderAskingStatus();
}

int LptLink::Write(const uint8_t* data, int length) {
  if (state().open == 0) return Fail(0, "the port is not open");
  std::lock_guard<std::mutex> g(portLock());
  platform::SerialPort* p = port();
  if (p == nullptr) return Fail(0, "the port is not open");
  if (length <= 0) return 0;
  const uint32_t perByte = length < kLargeWrite ? 0 : kLargeWriteMsPerByte;
  const uint32_t attemptMs = kWriteBaseMs + perByte * static_cast<uint32_t>(length);
  const uint32_t start = clock().NowMs();
  int written = 0;
  do {
    const platform::WriteResult r = p->WriteWithin(data + written, length - written, attemptMs);
    written += r.count;
    if (r.finished && written >= length) break;
    clock().SleepMs(kRetryPauseMs);
  } while (clock().NowMs() - start < kWriteBaseMs);
  if (written < length) return Fail(written, OsCause(p->LastError(), "the port took too little"));
  return written;
}

void LptLink::ReaderTurn() {
  LinkState& st = state();
  PauseBeforeTurn();
  if (st.statusRequest) EnableStatusBack();

  ReaderBlock block;
  TimedRead(block);
  NoteBlock(block);

  if (ProcessIdReplyAtStart(block)) st.printDone = 1;
  ForwardReply(block.bytes.data(), block.length);
  WatchSplitReply(block);
  if (block.length >= 4) st.readerStarted = 1;
  if (ProcessIdReplyAtEnd(block)) st.printDone = 1;

  RemoveKeepAlive(block);
  if (block.length >= 4) ApplyCoverCodeTable(st, block, [&] { OnlineCountRule(block); });
}

// Two answers that disagree about being on-line in one read: ask again.
void LptLink::OnlineCountRule(const ReaderBlock& block) {
  if (OnlineCountsEqual(block)) EnableStatusBack();
}

}  // namespace links
