// The status tables of the serial, parallel and USB links.
#include "links/serial_status_table.h"

namespace links {

namespace {

bool IsOnlineCode(uint8_t b0) { return b0 == 0x10 || b0 == 0x14; }
bool HasCoverBit(uint8_t b0) { return (b0 & 0x20) != 0; }
bool IsCoverCode(uint8_t b0) { return b0 == 0x38 || b0 == 0x3C; }
bool IsPaperOutCode(uint8_t b0) { return b0 == 0x18 || b0 == 0x1C; }
bool IsPaperEndByte(uint8_t b0) { return b0 == 0x10 || b0 == 0x14 || b0 == 0x18 || b0 == 0x1C; }

void Run(const OnlineCountRule& online) {
  if (online) online();
}

// The plain blocks read the same in both tables; only what counts as an
// open cover differs.
void ApplyPlainBlock(LinkState& st, const StatusBlock& s, const OnlineCountRule& online,
                     bool (*isCover)(uint8_t)) {
  if (s.b2 == 3) {
    if (IsOnlineCode(s.b0)) {
      st.ReportNearEnd();
      Run(online);
    } else if (isCover(s.b0)) {
      st.ReportCoverOpen();
    } else {
      st.ReportNearEnd();
    }
  } else if (IsOnlineCode(s.b0)) {
    Run(online);
    st.ReportNormal();
  } else if (isCover(s.b0)) {
    st.ReportCoverOpen();
  }
}

}  // namespace

bool OnlineCountsEqual(const ReaderBlock& block) {
  int with14 = 0;
  int with10 = 0;
  for (int at = block.length - 4; at >= 0; at -= 4) {
    with14 += block.bytes[at] == 0x14;
    with10 += block.bytes[at] == 0x10;
  }
  return with14 == with10;
}

void ApplyCoverBitTable(LinkState& st, const ReaderBlock& block, const OnlineCountRule& online) {
  const StatusBlock s = LastStatusBlock(block);
  if (s.plain()) {
    ApplyPlainBlock(st, s, online, HasCoverBit);
    return;
  }
  if (HasCoverBit(s.b0)) {
    // A cover block after an earlier block with a paper or off-line bit
    // (length-6 is the third byte of the block before) counts as normal.
    const int n = block.length;
    if (n >= 6 && (block.bytes[n - 6] & 0x1C) != 0) {
      st.ReportNormal();
    } else {
      st.ReportCoverOpen();
    }
  } else if ((s.b2 & 0x1C) != 0 && IsPaperEndByte(s.b0)) {
    st.ReportPaperEnd();
  } else if (s.b2 == 3 && IsOnlineCode(s.b0)) {
    st.ReportNearEnd();
  }
}

void ApplyCoverCodeTable(LinkState& st, const ReaderBlock& block, const OnlineCountRule& online) {
  const StatusBlock s = LastStatusBlock(block);
  if (s.plain()) {
    ApplyPlainBlock(st, s, online, IsCoverCode);
    return;
  }
  if (IsCoverCode(s.b0)) {
    st.ReportCoverOpen();
  } else if (s.b2 == 0x0F && IsPaperOutCode(s.b0)) {
    st.ReportPaperEnd();
  } else if (s.b2 == 3 && IsOnlineCode(s.b0)) {
    st.ReportNearEnd();
  }
}

}  // namespace links
