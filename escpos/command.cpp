// Naming and argument formatting of recognised ESC/POS commands for the
// event stream.
#include "escpos/command.h"

#include <cstdio>

namespace escpos {
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

std::optional<Graphics> GraphicsOf(const Command& cmd) {
  if (cmd.prefix != kGs || (cmd.code != '(' && cmd.code != '8') || cmd.header_len < 1 ||
      cmd.header[0] != 'L') {
    return std::nullopt;
  }
  // GS ( L pL pH m fn ... / GS 8 L p1 p2 p3 p4 m fn ...
  const size_t m = cmd.code == '(' ? 3 : 5;
  Graphics g;
  if (cmd.header_len <= m + 1) return g;
  g.fn = cmd.header[m + 1];
  if ((g.fn == kGraphicsStoreRaster || g.fn == 113) && cmd.header_len >= m + kGraphicsPeek) {
    auto word = [&](size_t i) { return cmd.header[i] | (cmd.header[i + 1] << 8); };
    g.scale_x = cmd.header[m + 3] == 2 ? 2 : 1;
    g.scale_y = cmd.header[m + 4] == 2 ? 2 : 1;
    g.color = cmd.header[m + 5];
    g.width = word(m + 6);
    g.height = word(m + 8);
  }
  return g;
}

}  // namespace escpos
