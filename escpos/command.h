// One ESC/POS command as recognised in the byte stream from the host.
//
// The parser produces these; the printer model decides which ones need an
// answer and whether that answer goes out at once (real-time commands) or in
// data order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace escpos {

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kFs = 0x1C;
inline constexpr uint8_t kGs = 0x1D;

// Payload bytes of GS ( L and GS 8 L kept in Command::header: m fn a bx by c
// xL xH yL yH, the whole header of a raster graphics store (fn 112).
inline constexpr size_t kGraphicsPeek = 10;

// Commands the printer model acts on; everything else is print data.
enum class CommandKind : uint8_t {
  kOther,             // Formatting, graphics, barcodes, unknown codes.
  kDleEot,            // DLE EOT n: real-time status.
  kDleEnq,            // DLE ENQ n: real-time request, no answer.
  kDleDc4,            // DLE DC4 fn ...: real-time (fn 8 clears buffers).
  kAsbEnable,         // GS a n.
  kTransmitStatus,    // GS r n.
  kPrinterId,         // GS I n.
  kProcessId,         // GS ( H with fn 48: process-ID request.
  kInitialize,        // ESC @.
  kPeripheralStatus,  // ESC u n.
  kPaperStatus,       // ESC v.
};

struct Command {
  static constexpr size_t kMaxHeader = 16;

  CommandKind kind = CommandKind::kOther;
  uint8_t prefix = 0;  // kDle, kEsc, kFs or kGs.
  uint8_t code = 0;    // Byte after the prefix.
  // First parameter bytes after `code` (fixed parameters and the start of
  // any payload the model needs to look at, e.g. the process ID).
  std::array<uint8_t, kMaxHeader> header{};
  uint8_t header_len = 0;
  uint64_t length = 0;  // Whole command including prefix and payload.
  // False for a code no length rule knows (taken as having no parameters).
  bool known = true;
  size_t end = 0;  // Offset just past the command in the chunk that completed it.

  // First parameter byte, 0 when there is none.
  uint8_t n() const { return header_len > 0 ? header[0] : 0; }
  // True for commands a printer executes on reception (DLE EOT/ENQ/DC4).
  bool RealTime() const;
  // Stable event name, e.g. "DLE_EOT", "GS_a", "GS_v0", "GS_(H", "ESC_@".
  std::string Name() const;
  // Stable event argument: the parameter in decimal for one-parameter
  // commands, the process ID in hex, "len=N" for longer commands, else "".
  std::string Argument() const;
  // The 4 bytes d1..d4 of a process-ID request.
  std::array<uint8_t, 4> ProcessId() const;
};

// A graphics command, GS ( L or GS 8 L, with the image header of the raster
// store functions (fn 112: into the print buffer, printed by fn 50).
struct Graphics {
  uint8_t fn = 0;
  int scale_x = 1;     // bx, 1 or 2.
  int scale_y = 1;     // by, 1 or 2.
  uint8_t color = 49;  // c: 49 is the first colour.
  int width = 0;       // Dots; 0 when the command carries no image header.
  int height = 0;
};
inline constexpr uint8_t kGraphicsStoreRaster = 112;
inline constexpr uint8_t kGraphicsPrintBuffer = 50;
// The graphics function of `cmd`; nullopt when it is no GS ( L / GS 8 L.
std::optional<Graphics> GraphicsOf(const Command& cmd);

}  // namespace escpos
