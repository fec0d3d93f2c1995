// The ESC/POS byte strings the relay sends to its printer or recognises in
// the bytes that pass through it, in one place.
#pragma once

#include <array>
#include <cstdint>

namespace links {

// GS a 255: Automatic Status Back for every status change.
inline constexpr uint8_t kStatusBackOn[] = {0x1D, 0x61, 0xFF};
// GS a 0: Automatic Status Back off.
inline constexpr uint8_t kStatusBackOff[] = {0x1D, 0x61, 0x00};

// Real-time status requests: DLE EOT 2 (printer, with the cover bit) and
// DLE EOT 4 (paper sensors), and the bits the links read in their answers.
inline constexpr uint8_t kRealTimeStatusPrinter[] = {0x10, 0x04, 0x02};
inline constexpr uint8_t kRealTimeStatusPaper[] = {0x10, 0x04, 0x04};
inline constexpr uint8_t kCoverOpenBit = 0x04;  // in the answer to DLE EOT 2
inline constexpr uint8_t kPaperEndBits = 0x60;  // in the answer to DLE EOT 4

// GS ( H, function 48, process ID "FFFF": the printer answers once it has
// printed everything sent before it.
inline constexpr uint8_t kProcessIdRequest[] = {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30,
                                                0x30, 0x46, 0x46, 0x46, 0x46};
// The reply: "7", 0x22, the process ID, NUL. The readers know it by its
// leading "7" and the ID's "F"s.
inline constexpr std::array<uint8_t, 7> kProcessIdReply = {0x37, 0x22, 0x46, 0x46,
                                                           0x46, 0x46, 0x00};
inline constexpr uint8_t kProcessIdReplyLead = 0x37;  // "7"
inline constexpr uint8_t kProcessIdDigit = 0x46;      // "F"

// The keep-alive some printers send between status blocks.
inline constexpr char kKeepAlive[] = "_GET_TIME";
inline constexpr int kKeepAliveLength = 9;

// The commands an application's job may start with that the relay names in
// its log: GS a (status back) and DLE EOT (real-time status).
inline constexpr uint8_t kGsA[] = {0x1D, 0x61};
inline constexpr uint8_t kDleEot[] = {0x10, 0x04};

}  // namespace links
