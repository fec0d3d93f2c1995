// The status tables of the serial, parallel and USB links: what the last
// Automatic Status Back block of a reader turn does to the link's flags.
// The serial and USB tables read the cover bit (b0 & 0x20); the parallel one
// knows only the cover codes 0x38 and 0x3C and the paper-out codes 0x18 and
// 0x1C. The USB and parallel tables also run the online count rule.
#pragma once

#include <functional>

#include "links/device_link.h"
#include "links/reader_block.h"

namespace links {

// Among the first bytes of the 4-byte steps that end at the block's end
// (length-4, length-8, ... down to 0), as many are 0x14 as are 0x10.
bool OnlineCountsEqual(const ReaderBlock& block);

// The rule a table runs at its online rows (the USB and parallel links send
// GS a 255 when OnlineCountsEqual); empty for the serial link.
using OnlineCountRule = std::function<void()>;

// ComLink and UsbLink. Requires block.length >= 4.
void ApplyCoverBitTable(LinkState& st, const ReaderBlock& block, const OnlineCountRule& online);
// LptLink. Requires block.length >= 4.
void ApplyCoverCodeTable(LinkState& st, const ReaderBlock& block, const OnlineCountRule& online);

}  // namespace links
