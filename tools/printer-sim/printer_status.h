// Mechanical state of the simulated printer and the status bytes a real
// ESC/POS printer reports for it (DLE EOT, GS r, ESC v).
#pragma once

#include <cstdint>

namespace printersim {

enum class PaperState : uint8_t { kOk, kNearEnd, kOut };

struct PrinterStatus {
  bool cover_open = false;
  PaperState paper = PaperState::kOk;

  // Off-line: the printer stops printing and holds data-order answers.
  bool Offline() const { return cover_open || paper == PaperState::kOut; }
  bool operator==(const PrinterStatus&) const = default;
};

// "ok", "near-end" or "out".
const char* PaperName(PaperState paper);

// The byte answered to DLE EOT n for n = 1..4 (printer, off-line cause,
// error cause, roll paper sensor). Returns false for other n, which a
// printer does not answer.
bool RealTimeStatusByte(const PrinterStatus& status, uint8_t n, uint8_t* out);

// Paper sensor byte of GS r 1 / ESC v: 0x03 when near end, 0x0C at paper end.
uint8_t PaperSensorByte(const PrinterStatus& status);

}  // namespace printersim
