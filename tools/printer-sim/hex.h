// Hex text of byte strings for the event stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace printersim {

// Lower-case hex of the first `max_bytes` bytes, followed by "..." when the
// data is longer.
std::string HexString(const uint8_t* data, size_t len, size_t max_bytes = 64);

}  // namespace printersim
