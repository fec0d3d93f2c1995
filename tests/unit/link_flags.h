// Helpers of the serial, parallel and USB link tests: the status flags as a
// short text, and the rows of the cover-bit status table that the serial and
// USB links share.
#pragma once

#include <string>
#include <vector>

#include "links/device_link.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

// "CNES": coverOpen, paperNearEnd, paperEnd, statusRequest as digits.
inline std::string Flags(const links::LinkState& s) {
  return std::to_string(s.coverOpen) + std::to_string(s.paperNearEnd) + std::to_string(s.paperEnd) +
         std::to_string(s.statusRequest);
}

inline void SetFlags(links::LinkState& s, const std::string& flags) {
  s.coverOpen = flags[0] - '0';
  s.paperNearEnd = flags[1] - '0';
  s.paperEnd = flags[2] - '0';
  s.statusRequest = flags[3] - '0';
}

struct TableRow {
  const char* row;
  Bytes block;
  const char* before;  // flags "CNES" before the turn
  const char* after;
};

// The serial and USB status table (online code 0x10/0x14, cover bit 0x20).
inline const std::vector<TableRow>& CoverBitRows() {
  static const std::vector<TableRow> rows = {
      {"plain b2=3, online", {0x10, 0, 3, 0x0F}, "1011", "0100"},
      {"plain b2=3, cover bit 0x34", {0x34, 0, 3, 0x0F}, "0100", "1001"},
      {"plain b2=3, cover bit 0x3C", {0x3C, 0, 3, 0x0F}, "0100", "1001"},
      {"plain b2=3, other", {0x18, 0, 3, 0x0F}, "1011", "0100"},
      {"plain b2=0, online", {0x14, 0, 0, 0}, "1111", "0000"},
      {"plain b2=0, cover bit 0x34", {0x34, 0, 0, 0x0F}, "0000", "1001"},
      {"plain b2=0, cover code 0x3C", {0x3C, 0, 0, 0x0F}, "0110", "1001"},
      {"plain b2=0, other: no change", {0x18, 0, 0, 0x0F}, "0110", "0110"},
      {"error, cover bit after a paper block",
       {0x10, 0, 0x0F, 0, 0x3C, 0, 0x0F, 0},
       "1011",
       "0000"},
      {"error, cover bit alone", {0x3C, 0, 0x0F, 0}, "0010", "1001"},
      {"error, cover bit after a plain block",
       {0x10, 0, 0, 0x0F, 0x38, 0, 0x0C, 0},
       "0000",
       "1001"},
      {"error, paper end on-line", {0x10, 0, 0x0F, 0}, "1100", "0011"},
      {"error, paper end off-line", {0x18, 0, 0x0F, 0}, "0100", "0011"},
      {"error, paper end 0x1C, b2=0x0C", {0x1C, 0, 0x0C, 0}, "0000", "0011"},
      {"error, paper bits with another b0: no change", {0x12, 0, 0x0F, 0}, "0100", "0100"},
      {"error, b2=3 on-line", {0x14, 0, 3, 0}, "1011", "0100"},
      {"error, b2=3 off-line: no change", {0x18, 0, 3, 0}, "0010", "0010"},
      {"error, other: no change", {0x10, 1, 0, 0}, "1110", "1110"},
  };
  return rows;
}

}  // namespace linktest
