// Naming and argument formatting of recognised ESC/POS commands for the
// event stream.
#include "tools/printer-sim/escpos_command.h"

#include <cstdio>

namespace printersim {
namespace {

std::string CodeText(uint8_t c) {
  if (c > 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02x", c);
  return buf;
}

// Commands whose first parameter byte selects a function and belongs to the
// name (GS v 0, GS ( H, GS 8 L, FS g 1, ...).
bool HasFunctionByte(uint8_t prefix, uint8_t code) {
  switch (prefix) {
    case kEsc:
      return code == '(';
    case kFs:
      return code == '(' || code == 'g';
    case kGs:
      return code == '(' || code == '8' || code == 'C' || code == 'Q' || code == 'g' ||
             code == 'v' || code == 'z';
    default:
      return false;
  }
}

}  // namespace

bool Command::RealTime() const {
  return kind == CommandKind::kDleEot || kind == CommandKind::kDleEnq ||
         kind == CommandKind::kDleDc4;
}

std::string Command::Name() const {
  switch (prefix) {
    case kDle:
      if (code == 0x04) return "DLE_EOT";
      if (code == 0x05) return "DLE_ENQ";
      if (code == 0x14) return "DLE_DC4";
      return "DLE_" + CodeText(code);
    case kEsc:
    case kFs:
    case kGs: {
      std::string name = prefix == kEsc ? "ESC_" : prefix == kFs ? "FS_" : "GS_";
      name += CodeText(code);
      if (HasFunctionByte(prefix, code) && header_len > 0) name += CodeText(header[0]);
      return name;
    }
    default:
      return "?";
  }
}

std::string Command::Argument() const {
  if (kind == CommandKind::kProcessId) {
    char buf[9];
    const auto id = ProcessId();
    std::snprintf(buf, sizeof buf, "%02x%02x%02x%02x", id[0], id[1], id[2], id[3]);
    return buf;
  }
  const uint64_t params = length - 2;
  if (params == 0) return "";
  if (params == 1 && !HasFunctionByte(prefix, code)) return std::to_string(header[0]);
  return "len=" + std::to_string(length);
}

std::array<uint8_t, 4> Command::ProcessId() const {
  // GS ( H pL pH fn m d1 d2 d3 d4: the header starts at 'H'.
  return {header[5], header[6], header[7], header[8]};
}

}  // namespace printersim
