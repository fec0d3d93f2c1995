// The built-in printer profiles.
#include "tools/printer-sim/profile.h"

#include <cstdio>

namespace printersim {
namespace {

constexpr Profile kProfiles[] = {
    {"default",
     "network printer: paper end keeps the on-line bit, byte 4 filled",
     {0x10, 0x00, 0x00, 0x0F},
     {0x10, 0x00, 0x03, 0x0F},
     {0x3C, 0x00, 0x00, 0x0F},
     {0x10, 0x00, 0x0F, 0x00}},
    {"offline",
     "paper end sets the off-line bit, byte 4 filled",
     {0x10, 0x00, 0x00, 0x0F},
     {0x10, 0x00, 0x03, 0x0F},
     {0x38, 0x00, 0x00, 0x0F},
     {0x18, 0x00, 0x0F, 0x00}},
    {"zero",
     "byte 4 always 00, paper end sets the off-line bit",
     {0x10, 0x00, 0x00, 0x00},
     {0x10, 0x00, 0x03, 0x00},
     {0x38, 0x00, 0x00, 0x00},
     {0x18, 0x00, 0x0F, 0x00}},
};

}  // namespace

std::span<const Profile> Profiles() { return kProfiles; }

const Profile& DefaultProfile() { return kProfiles[0]; }

const Profile* FindProfile(std::string_view name) {
  for (const Profile& p : kProfiles) {
    if (name == p.name) return &p;
  }
  return nullptr;
}

AsbBlock MakeAsbBlock(const Profile& profile, const PrinterStatus& status) {
  const AsbBlock* paper = nullptr;
  if (status.paper == PaperState::kOut) paper = &profile.paper_out;
  if (status.paper == PaperState::kNearEnd) paper = &profile.near_end;
  if (status.cover_open) {
    AsbBlock block = profile.cover_open;
    if (paper != nullptr) block[2] = (*paper)[2];
    return block;
  }
  return paper != nullptr ? *paper : profile.normal;
}

std::string BlockText(const AsbBlock& block) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02x %02x %02x %02x", block[0], block[1], block[2], block[3]);
  return buf;
}

}  // namespace printersim
