// The soak's print jobs: each one distinct and self-describing, so that the
// printer's record can be split back into jobs and every copy checked.
//
//   ESC @  "#SOAK 000123 BEGIN\n"  body  "#SOAK 000123 END CRC 1A2B3C4D\n"  GS V 1
//
// The CRC-32 covers everything before the trailer. The body is receipt text
// (with bold and alignment commands) and, in larger jobs, a raster image of
// random dots; it never holds the status commands the relay sends itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace soak {

using Bytes = std::vector<uint8_t>;

uint32_t Crc32(const uint8_t* data, size_t len);

// "#SOAK 000123 BEGIN\n" and "#SOAK 000123 END CRC " (the hex and "\n" follow).
std::string HeaderText(uint32_t number);
std::string TrailerLead(uint32_t number);
inline constexpr size_t kHeaderTextSize = 19;
inline constexpr size_t kTrailerSize = 30;  // "#SOAK nnnnnn END CRC xxxxxxxx\n"
inline constexpr uint8_t kCut[] = {0x1D, 0x56, 0x01};

// A job of about `size` bytes (at least the frame); a raster image when
// `raster` and the size leaves room for one.
Bytes MakeJob(uint32_t number, size_t size, bool raster, std::mt19937_64& rng);

// The job number of the header text at `p` (kHeaderTextSize bytes available),
// or nothing when it is not one.
std::optional<uint32_t> ParseHeaderText(const uint8_t* p, size_t available);
// The job number of a trailer at `p`, or nothing.
std::optional<uint32_t> ParseTrailer(const uint8_t* p, size_t available);
// True when the bytes are a whole job whose trailer's CRC matches its content.
bool SelfConsistent(const uint8_t* p, size_t len);

}  // namespace soak
