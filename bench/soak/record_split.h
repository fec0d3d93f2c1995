// Splits what the printer printed back into the soak's jobs.
//
// The relay sends status commands of its own (GS a, DLE EOT, the process-ID
// request) and may send one between two chunks of a job. A copy whose bytes
// are the job's once those whole commands are taken out printed exactly as
// the job: it is intact. A relay command that landed inside a command's data
// (a raster image) is no whole command and is not taken out: that copy is
// corrupted and counts as a fragment, like a copy cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "bench/soak/job.h"

namespace soak {

struct Piece {
  uint32_t job = 0;
  size_t begin = 0;  // Offsets in the record (including `base`).
  size_t end = 0;
  bool intact = false;       // The whole job, byte for byte (relay commands aside).
  bool interleaved = false;  // Intact, with relay commands between its bytes.
};

// The job's bytes by number, or null for a number the soak never sent.
using JobLookup = std::function<const Bytes*(uint32_t)>;

// Every copy and fragment of a job in `data` (the record from offset `base`),
// in record order. A fragment is a header without its whole job after it, or
// a trailer without its header.
std::vector<Piece> SplitRecord(const uint8_t* data, size_t len, size_t base,
                               const JobLookup& lookup);

}  // namespace soak
