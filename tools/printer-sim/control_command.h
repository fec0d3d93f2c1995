// Operator commands (stdin lines such as "cover open") and the --state list
// that sets the printer's state at start.
#pragma once

#include <string>
#include <string_view>

#include "tools/printer-sim/printer_status.h"

namespace printersim {

enum class ControlAction {
  kCoverOpen,
  kCoverClose,
  kPaperOut,
  kPaperNearEnd,
  kPaperOk,
  kPowerOff,
  kPowerOn,
  kSilentOn,
  kSilentOff,
  kSplitOn,
  kSplitOff,
  kKeepalive,
  kDrop,
  kQuit,
};

// Parses one line; surrounding and repeated blanks are ignored. False for an
// unknown command.
bool ParseControl(std::string_view line, ControlAction* action);

struct InitialState {
  PrinterStatus status;
  bool powered = true;
  bool silent = false;
  bool split = false;
};

// Applies a comma-separated list of cover-open, paper-out, near-end,
// power-off, silent, split, ok. False with *error on an unknown item.
bool ParseStateList(std::string_view list, InitialState* state, std::string* error);

}  // namespace printersim
