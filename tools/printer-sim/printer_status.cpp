// Standard ESC/POS status byte layouts.
#include "tools/printer-sim/printer_status.h"

namespace printersim {

const char* PaperName(PaperState paper) {
  switch (paper) {
    case PaperState::kOk:
      return "ok";
    case PaperState::kNearEnd:
      return "near-end";
    case PaperState::kOut:
      return "out";
  }
  return "?";
}

bool RealTimeStatusByte(const PrinterStatus& status, uint8_t n, uint8_t* out) {
  const bool out_of_paper = status.paper == PaperState::kOut;
  switch (n) {
    case 1:  // Printer status: bit 3 off-line.
      *out = 0x16 | (status.Offline() ? 0x08 : 0x00);
      return true;
    case 2:  // Off-line cause: bit 2 cover open, bit 5 stopped by paper end.
      *out = 0x12 | (status.cover_open ? 0x04 : 0x00) | (out_of_paper ? 0x20 : 0x00);
      return true;
    case 3:  // Error cause: the simulator has no mechanical errors.
      *out = 0x12;
      return true;
    case 4:  // Roll paper sensor: the near-end sensor also sees an empty roll.
      *out = 0x12 | (status.paper != PaperState::kOk ? 0x0C : 0x00) | (out_of_paper ? 0x60 : 0x00);
      return true;
    default:
      return false;
  }
}

uint8_t PaperSensorByte(const PrinterStatus& status) {
  switch (status.paper) {
    case PaperState::kOk:
      return 0x00;
    case PaperState::kNearEnd:
      return 0x03;
    case PaperState::kOut:
      return 0x0F;
  }
  return 0x00;
}

}  // namespace printersim
