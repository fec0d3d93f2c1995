// The ESC/POS byte strings the relay sends to its printer or recognises in
// the bytes that pass through it, and the commands of the application port
// check's test page (app/test_page.cpp), in one place.
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

// The test page. Commands with an argument are given without it.
inline constexpr uint8_t kFeed48[] = {0x1B, 0x4A, 0x30};       // ESC J 48: print, feed 48 units
inline constexpr uint8_t kAlignLeft[] = {0x1B, 0x61, 0x30};    // ESC a 48
inline constexpr uint8_t kAlignCentre[] = {0x1B, 0x61, 0x31};  // ESC a 49
inline constexpr uint8_t kAlignRight[] = {0x1B, 0x61, 0x32};   // ESC a 50
inline constexpr uint8_t kCutPartial[] = {0x1D, 0x56, 0x42, 0x00};  // GS V 66 0: feed, cut
inline constexpr uint8_t kLineEnd[] = {0x0D, 0x0A};                 // CR LF
inline constexpr uint8_t kBarcodeModuleWidth[] = {0x1D, 0x77};      // GS w n
inline constexpr uint8_t kBarcodeHeight[] = {0x1D, 0x68};           // GS h n
inline constexpr uint8_t kBarcodeHriPosition[] = {0x1D, 0x48};      // GS H '0' + position
inline constexpr uint8_t kBarcodePrint[] = {0x1D, 0x6B};            // GS k m n data (second form)
inline constexpr uint8_t kCode39 = 0x45;                            // m of GS k: CODE39
// GS ( k, symbol QR code (cn 49): module size (fn 67) n, error correction
// level (fn 69) 48 + level, store (fn 80) after pL pH, print (fn 81).
inline constexpr uint8_t kQrModuleSize[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43};
inline constexpr uint8_t kQrErrorLevel[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45};
inline constexpr uint8_t kQrStoreLead[] = {0x1D, 0x28, 0x6B};
inline constexpr uint8_t kQrStoreFunction[] = {0x31, 0x50, 0x30};
inline constexpr uint8_t kQrPrint[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30};

}  // namespace links
