// Parsing of operator commands and initial-state lists.
#include "tools/printer-sim/control_command.h"

#include <sstream>

namespace printersim {

bool ParseControl(std::string_view line, ControlAction* action) {
  std::istringstream in{std::string(line)};
  std::string words, word;
  while (in >> word) words += (words.empty() ? "" : " ") + word;
  static const struct {
    const char* text;
    ControlAction action;
  } kTable[] = {
      {"cover open", ControlAction::kCoverOpen},
      {"cover close", ControlAction::kCoverClose},
      {"cover closed", ControlAction::kCoverClose},
      {"paper out", ControlAction::kPaperOut},
      {"paper near-end", ControlAction::kPaperNearEnd},
      {"paper ok", ControlAction::kPaperOk},
      {"power off", ControlAction::kPowerOff},
      {"power on", ControlAction::kPowerOn},
      {"silent on", ControlAction::kSilentOn},
      {"silent off", ControlAction::kSilentOff},
      {"split on", ControlAction::kSplitOn},
      {"split off", ControlAction::kSplitOff},
      {"keepalive", ControlAction::kKeepalive},
      {"drop", ControlAction::kDrop},
      {"quit", ControlAction::kQuit},
  };
  for (const auto& entry : kTable) {
    if (words == entry.text) {
      *action = entry.action;
      return true;
    }
  }
  return false;
}

bool ParseStateList(std::string_view list, InitialState* state, std::string* error) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string_view item = list.substr(start, comma - start);
    if (item == "cover-open") {
      state->status.cover_open = true;
    } else if (item == "paper-out") {
      state->status.paper = PaperState::kOut;
    } else if (item == "near-end") {
      state->status.paper = PaperState::kNearEnd;
    } else if (item == "power-off") {
      state->powered = false;
    } else if (item == "silent") {
      state->silent = true;
    } else if (item == "split") {
      state->split = true;
    } else if (item != "ok" && !item.empty()) {
      *error = "unknown state '" + std::string(item) + "'";
      return false;
    }
    start = comma + 1;
  }
  return true;
}

}  // namespace printersim
