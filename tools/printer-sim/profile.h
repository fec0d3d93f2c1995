// Printer profiles: the Automatic Status Back blocks that different real
// receipt printers send, so the relay's links can be tested against each
// variant.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tools/printer-sim/printer_status.h"

namespace printersim {

using AsbBlock = std::array<uint8_t, 4>;

struct Profile {
  const char* name;
  const char* summary;
  AsbBlock normal;
  AsbBlock near_end;
  AsbBlock cover_open;
  AsbBlock paper_out;
};

// All profiles; the first one is the default.
std::span<const Profile> Profiles();
const Profile& DefaultProfile();
// nullptr when there is no profile of that name.
const Profile* FindProfile(std::string_view name);

// The ASB block for a status. Cover open together with a paper fault gives
// the cover-open block with byte 3 taken from the paper fault's block.
AsbBlock MakeAsbBlock(const Profile& profile, const PrinterStatus& status);

// "10 00 00 0f" style text of a block.
std::string BlockText(const AsbBlock& block);

}  // namespace printersim
